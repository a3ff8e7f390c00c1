// GoogleTest's main for the Windows test binary. The C runtime would turn
// every "\n" on stdout into "\r\n"; ctest reads the test list from stdout
// and a stray '\r' would end up in every test name, so both streams are
// switched to binary mode first.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <cstdio>

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
