// The main of the Windows build's test programs (tests/windows/suites.cmake), run under wine.
#include <gtest/gtest.h>

#include <cstdio>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

int main(int argc, char** argv) {
  // Unbuffered, so that the log of a run that dies shows where.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  // A crash must end the run with a failure, not wait at an error dialog or a debugger.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
