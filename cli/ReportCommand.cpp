// `stavrion report [--machine DIR|demo] [--json]`: discovers the disks of
// the real machine or a simulated one and prints what the panel and the
// attribute list show, or every field of each disk record as JSON.
// Exit status: 0 disks found, 1 no disk, 2 bad arguments or machine.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/DiskReport.h"
#include "app/LanguageFile.h"
#include "cli/Commands.h"
#include "cli/MachineOption.h"
#include "engine/AtaSmart.h"

namespace cli {
namespace {

constexpr int EXIT_NO_DISK = 1;

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
  for (const std::string& arg : args) {
    if (arg == "--json") {
      json = true;
    } else {
      std::fprintf(stderr, "usage: stavrion report [--machine DIR|demo] [--json]\n");
      return EXIT_USAGE;
    }
  }
  std::unique_ptr<CMachine> machine = CMachine::Open(option, &error);
  if (!machine) {
    std::fprintf(stderr, "stavrion report: %s\n", error.c_str());
    return EXIT_USAGE;
  }

  os::Platform platform = machine->Get();
  CAtaSmart ata(platform);
  app::DiscoverDisks(ata);
  if (json) {
    std::fputs(app::DiskReportJson(ata.vars).c_str(), stdout);
  } else {
    // Texts come from the English file beside the program; without it the
    // report still prints, with its built-in names.
    app::CLanguageFile english;
    english.Load(platform.Files, EnglishLanguagePath(platform.Files));
    app::TextLookup text = [&english](const std::string& section, const std::string& key) {
      return english.GetText(section, key);
    };
    std::fputs(app::DiskReportText(ata.vars, text).c_str(), stdout);
  }
  return ata.vars.GetCount() > 0 ? EXIT_OK : EXIT_NO_DISK;
}

}  // namespace cli
