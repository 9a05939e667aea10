// db_golden_dump <file>: writes the golden answer listing of the shipped database to file
// (the golden-update target points it at tests/golden/answers.txt).
#include <cstdio>
#include <fstream>
#include <iostream>

#include "golden_listing.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: db_golden_dump <file>\n";
    return 2;
  }
  const std::string listing = dbtest::GoldenListing();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << listing;
  out.close();
  if (!out) {
    std::cerr << "db_golden_dump: cannot write " << argv[1] << "\n";
    return 1;
  }
  std::cout << "db_golden_dump: wrote " << argv[1] << "\n";
  return 0;
}
