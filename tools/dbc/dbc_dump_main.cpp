// dbc-dump: prints the image built into the modeldb library as database source.
#include <iostream>

#include "decompiler.h"
#include "image.h"

int main() {
  std::cout << dbc::DecompileImage(mdb::ShippedImage());
  return 0;
}
