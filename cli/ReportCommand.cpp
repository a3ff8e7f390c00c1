// `stavrion report [--machine DIR|demo] [--json] [--all-disks]`: discovers the disks of
// the real machine or a simulated one and prints what the panel and the
// attribute list show, or every field of each disk record as JSON.
// `--system` prints the system information instead: system, firmware,
// processor, memory, board, graphics, network and controllers, and the
// eight memory slots (read from the SMBIOS table or else WMI).
// `--all-disks` judges the disks the program does not rate (other makers'
// hard disks, SSDs of no known family) by their attributes instead of
// calling them unknown.
// Exit status: 0 disks read, 1 no disk at all, 2 bad arguments or machine,
// 3 disks listed but S.M.A.R.T. needs root, 4 disks listed but the system
// refuses raw disk access even to root.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/LanguageFile.h"
#include "cli/Commands.h"
#include "cli/MachineOption.h"
#include "engine/AtaSmart.h"
#include "monitor/DiskReport.h"
#include "tools/MemoryInfo.h"
#include "tools/SystemReport.h"

namespace cli {
namespace {

constexpr int EXIT_NO_DISK = 1;
constexpr int EXIT_NOT_PRIVILEGED = 3;
constexpr int EXIT_REFUSED_TO_PRIVILEGED = 4;

// The English language file beside the program.
std::string EnglishLanguagePath(os::IFileSystem& files) {
  std::string exe = files.ExecutablePath();
  const char sep = files.Separator();
  size_t slash = exe.find_last_of(sep);
  std::string folder = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
  return folder + sep + "TslResource" + sep + "language" + sep + "English.lang";
}

}  // namespace

int RunReport(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  MachineOption option;
  std::string error;
  if (!TakeMachineOption(args, &option, &error)) {
    std::fprintf(stderr, "stavrion report: %s\n", error.c_str());
    return EXIT_USAGE;
  }
  bool json = false;
  bool allDisks = false;
  bool system = false;
  for (const std::string& arg : args) {
    if (arg == "--json") {
      json = true;
    } else if (arg == "--all-disks") {
      allDisks = true;
    } else if (arg == "--system") {
      system = true;
    } else {
      std::fprintf(stderr,
                   "usage: stavrion report [--machine DIR|demo] [--json] [--all-disks | "
                   "--system]\n");
      return EXIT_USAGE;
    }
  }
  std::unique_ptr<CMachine> machine = CMachine::Open(option, &error);
  if (!machine) {
    std::fprintf(stderr, "stavrion report: %s\n", error.c_str());
    return EXIT_USAGE;
  }

  os::Platform platform = machine->Get();
  if (system) {
    app::CLanguageFile english;
    english.Load(platform.Files, EnglishLanguagePath(platform.Files));
    const SystemTextLookup text = [&english](const std::string& section, const std::string& key) {
      return english.GetText(section, key);
    };
    const std::string unknown = english.GetText("Dialog", "UNKNOWN");
    const SystemInfo info =
        CollectSystemInfo(platform.Wmi, platform.System, unknown.empty() ? "Unknown" : unknown);
    std::fputs((json ? SystemInfoJson(info) : SystemInfoText(info, text)).c_str(), stdout);
    std::fflush(stdout);
    return EXIT_OK;
  }
  CAtaSmart ata(platform);
  ata.m_FlagEvaluateAllDisks = allDisks;
  monitor::DiscoverDisks(ata);
  const std::vector<monitor::UnreadDisk> unread =
      monitor::FindUnreadDisks(ata.vars, platform.Wmi, platform.Devices);
  if (json) {
    std::fputs(monitor::DiskReportJson(ata.vars, unread, allDisks).c_str(), stdout);
  } else {
    // Texts come from the English file beside the program; without it the
    // report still prints, with its built-in names.
    app::CLanguageFile english;
    english.Load(platform.Files, EnglishLanguagePath(platform.Files));
    monitor::TextLookup text = [&english](const std::string& section, const std::string& key) {
      return english.GetText(section, key);
    };
    std::fputs(monitor::DiskReportText(ata.vars, unread, text, allDisks).c_str(), stdout);
  }
  std::fflush(stdout);
  switch (monitor::JudgeReport(ata.vars.GetCount(), unread.size(),
                               platform.Devices.DeviceAccessDenial())) {
    case monitor::ReportOutcome::DisksRead:
      return EXIT_OK;
    case monitor::ReportOutcome::NoDisk:
      return EXIT_NO_DISK;
    case monitor::ReportOutcome::NotPrivileged:
      std::fprintf(stderr,
                   "stavrion: reading S.M.A.R.T. needs root (CAP_SYS_RAWIO): run as root\n");
      return EXIT_NOT_PRIVILEGED;
    case monitor::ReportOutcome::RefusedToPrivileged:
      std::fprintf(stderr,
                   "stavrion: the system refuses raw disk access even to root (a container, a "
                   "virtual machine or a security policy): S.M.A.R.T. cannot be read here\n");
      return EXIT_REFUSED_TO_PRIVILEGED;
  }
  return EXIT_USAGE;
}

}  // namespace cli
