// The Windows system backends against the real calls (under Wine in CI).
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "os/WindowsCommandLine.h"
#include "os/win32/Win32Clock.h"
#include "os/win32/Win32System.h"
#include "os/win32/WinHandle.h"
#include "os/win32/WinText.h"

namespace {

// Splits a command line the way every Windows program's runtime does.
std::vector<std::string> SplitLikeWindows(const std::string& line) {
  std::wstring wide = os::Utf8ToWide(line);
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(wide.c_str(), &count);
  std::vector<std::string> out;
  if (!args) return out;
  for (int i = 0; i < count; ++i) out.push_back(os::WideToUtf8(args[i], std::wcslen(args[i])));
  LocalFree(args);
  return out;
}

std::vector<std::vector<std::string>> ArgumentSets() {
  std::vector<std::vector<std::string>> sets = {
      {"/Startup"},
      {""},
      {"", ""},
      {"two words", "a\"b", "\""},
      {"C:\\dir\\", "C:\\my dir\\", "\\\\server\\share\\"},
      {"a\\\\\"b", "x\\\"", "\\", "\\\\", "\"\""},
      {"x\\\" && del /q *", "a\tb", "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"},
  };
  // Random strings over the characters that matter to the split.
  std::mt19937 random(20261209);
  const std::string alphabet = "ab \t\\\"";
  for (int n = 0; n < 200; ++n) {
    std::vector<std::string> set;
    for (int k = 0; k < 3; ++k) {
      std::string arg;
      size_t length = random() % 9;
      for (size_t i = 0; i < length; ++i) arg.push_back(alphabet[random() % alphabet.size()]);
      set.push_back(arg);
    }
    sets.push_back(set);
  }
  return sets;
}

TEST(Win32CommandLine, CommandLineToArgvWGivesEveryArgumentBack) {
  const std::string program = "C:\\Program Files\\Stavrion\\stavrion.exe";
  for (const auto& set : ArgumentSets()) {
    auto line = os::BuildWindowsCommandLine(program, set);
    ASSERT_TRUE(line);
    std::vector<std::string> expected = {program};
    expected.insert(expected.end(), set.begin(), set.end());
    EXPECT_EQ(SplitLikeWindows(*line), expected) << *line;
  }
}

std::string OwnPath() {
  wchar_t buffer[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
  return os::WideToUtf8(buffer, n);
}

std::string TempFileName(const char* stem) {
  wchar_t folder[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, folder);
  return os::WideToUtf8(folder, n) + stem + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(GetTickCount64());
}

std::string ReadWhole(const std::string& path) {
  std::string out;
  FILE* file = _wfopen(os::Utf8ToWide(path).c_str(), L"rb");
  if (!file) return out;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) out.append(chunk, n);
  std::fclose(file);
  return out;
}

TEST(Win32System, StartedProcessSeesTheArgumentsUnchanged) {
  os::CWin32System system;
  std::string eventName = "StavrionTestChild" + std::to_string(GetCurrentProcessId());
  os::CWinHandle event(CreateEventW(nullptr, TRUE, FALSE, os::Utf8ToWide(eventName).c_str()));
  ASSERT_TRUE(event);
  std::string outFile = TempFileName("child-echo-");
  std::vector<std::string> args = {"two words", "a\"b",         "C:\\my dir\\",
                                   "",          "x\\\" & echo", "gr\xC3\xBC\xC3\x9F"};
  std::vector<std::string> command = {"--child-echo", eventName, outFile};
  command.insert(command.end(), args.begin(), args.end());

  ASSERT_TRUE(system.StartProcess(OwnPath(), command));
  // The child signals once it has written its arguments.
  ASSERT_EQ(WaitForSingleObject(event.Get(), 30000), WAIT_OBJECT_0);

  std::string expected;
  for (const auto& a : args) expected += std::to_string(a.size()) + ":" + a;
  EXPECT_EQ(ReadWhole(outFile), expected);
  DeleteFileW(os::Utf8ToWide(outFile).c_str());
}

TEST(Win32System, StartProcessFailsForMissingProgramAndBadPaths) {
  os::CWin32System system;
  EXPECT_FALSE(system.StartProcess("C:\\no\\such\\program.exe", {}));
  EXPECT_FALSE(system.StartProcess("", {}));
  EXPECT_FALSE(system.StartProcess("C:\\a\"b.exe", {}));
  EXPECT_FALSE(system.StartProcess(OwnPath(), {std::string("a\0b", 3)}));
}

TEST(Win32System, SecondMutexOfANameSeesTheFirst) {
  os::CWin32System system;
  std::string name = "StavrionTestMutex" + std::to_string(GetCurrentProcessId());
  bool existed = true;
  auto first = system.CreateNamedMutex(name, &existed);
  ASSERT_TRUE(first);
  EXPECT_FALSE(existed);
  auto second = system.CreateNamedMutex(name, &existed);
  ASSERT_TRUE(second);
  EXPECT_TRUE(existed);
  first.reset();
  second.reset();
  auto third = system.CreateNamedMutex(name, &existed);
  ASSERT_TRUE(third);
  EXPECT_FALSE(existed) << "the mutex must go with its last owner";
}

TEST(Win32System, MutexNameWithNulIsRefused) {
  os::CWin32System system;
  bool existed = true;
  EXPECT_FALSE(system.CreateNamedMutex(std::string("Vardex\0x", 8), &existed));
  EXPECT_FALSE(existed);
}

TEST(Win32System, VersionIsAnNtVersion) {
  os::CWin32System system;
  os::OsVersion v = system.GetOsVersion();
  EXPECT_GE(v.MajorVersion, 6u);
  EXPECT_EQ(v.PlatformId, 2u);
  EXPECT_TRUE(v.Extended);
  EXPECT_GT(v.BuildNumber, 0u);
  EXPECT_GE(v.ProductType, 1u);
  EXPECT_LE(v.ProductType, 3u);
}

TEST(Win32Clock, LocalTimeRoundTripsThroughMakeLocalTime) {
  os::CWin32Clock clock;
  for (int64_t t : {int64_t{0} + 86400 * 365, int64_t{1700000000}, int64_t{1900000000}}) {
    std::tm local = clock.LocalTime(t);
    EXPECT_GE(local.tm_year, 70);
    EXPECT_EQ(clock.MakeLocalTime(local), t);
  }
}

TEST(Win32Clock, NowAndTickCountAreLive) {
  os::CWin32Clock clock;
  EXPECT_GT(clock.Now(), int64_t{1600000000});
  uint64_t a = clock.TickCount();
  uint64_t b = clock.TickCount();
  EXPECT_GE(b, a);
  EXPECT_GT(a, 0u);
}

TEST(Win32Clock, UnrepresentableTimeGivesEmptyRecord) {
  os::CWin32Clock clock;
  std::tm local = clock.LocalTime(-1);
  std::tm empty{};
  EXPECT_EQ(local.tm_year, empty.tm_year);
  EXPECT_EQ(local.tm_mday, empty.tm_mday);
}

}  // namespace
