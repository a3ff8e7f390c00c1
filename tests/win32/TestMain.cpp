// GoogleTest's main for the Windows test binary.
//
// The C runtime would turn every "\n" on stdout into "\r\n"; ctest reads the
// test list from stdout and a stray '\r' would end up in every test name, so
// both streams are switched to binary mode first.
//
// Run as "stavrion_tests.exe --child-echo EVENT FILE ARGS..." it is instead
// the child of the process-start tests: it writes the arguments Windows
// split from its command line to FILE and signals the named EVENT.
#include <fcntl.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <gtest/gtest.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "os/win32/WinText.h"

namespace {

int ChildEcho() {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args || count < 4) return 3;
  std::string out;
  // Each argument after FILE as "<length>:<bytes>".
  for (int i = 4; i < count; ++i) {
    std::string arg = os::WideToUtf8(args[i], std::wcslen(args[i]));
    out += std::to_string(arg.size()) + ":" + arg;
  }
  FILE* file = _wfopen(args[3], L"wb");
  if (!file) return 4;
  std::fwrite(out.data(), 1, out.size(), file);
  std::fclose(file);
  HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, args[2]);
  if (event) {
    SetEvent(event);
    CloseHandle(event);
  }
  LocalFree(args);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--child-echo") return ChildEcho();
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
