#include "cli/ReportCommand.h"

#include <cstdio>
#include <memory>
#include <string>

#include "app/DebugLog.h"
#include "app/DiskReport.h"
#include "app/LanguageFile.h"
#include "engine/AtaSmart.h"
#include "os/NativePlatform.h"
#include "os/sim/SimMachine.h"
#include "os/sim/SimPlatform.h"

namespace {

constexpr int EXIT_DISKS = 0;
constexpr int EXIT_NO_DISK = 1;
constexpr int EXIT_USAGE = 2;

void Usage() { std::fprintf(stderr, "usage: stavrion report [--machine DIR|demo] [--json]\n"); }

// The English language file beside the program.
std::string EnglishLanguagePath(os::IFileSystem& files) {
  std::string exe = files.ExecutablePath();
  const char sep = files.Separator();
  size_t slash = exe.find_last_of(sep);
  std::string folder = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
  return folder + sep + "TslResource" + sep + "language" + sep + "English.lang";
}

int Report(const os::Platform& platform, bool json) {
  CAtaSmart ata(platform);
  app::DiscoverDisks(ata);
  if (json) {
    std::fputs(app::DiskReportJson(ata.vars).c_str(), stdout);
  } else {
    // The texts come from the English file beside the program; without it
    // the report still prints, with its built-in names.
    app::CLanguageFile english;
    english.Load(platform.Files, EnglishLanguagePath(platform.Files));
    app::TextLookup text = [&english](const std::string& section, const std::string& key) {
      return english.GetText(section, key);
    };
    std::fputs(app::DiskReportText(ata.vars, text).c_str(), stdout);
  }
  return ata.vars.GetCount() > 0 ? EXIT_DISKS : EXIT_NO_DISK;
}

}  // namespace

int RunReportCommand(int argc, char** argv) {
  bool json = false;
  std::string machine;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      json = true;
    } else if (arg == "--machine" && i + 1 < argc) {
      machine = argv[++i];
    } else {
      Usage();
      return EXIT_USAGE;
    }
  }

  os::NativePlatform native;
  if (machine.empty()) return Report(native.Get(), json);

  os::Platform real = native.Get();
  os::sim::LoadResult loaded = os::sim::LoadMachineFolder(machine);
  if (!loaded.Machine) {
    std::fprintf(stderr, "stavrion: %s\n", loaded.Error.c_str());
    return EXIT_USAGE;
  }
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), real.Files, real.Profile);
  return Report(sim.Get(), json);
}
