// StavrionGui.exe: the window program. Prepares the process (window class
// "Stavrion", common controls, GDI+, error mode), reads the machine option
// ("--machine demo|DIR" as the first arguments shows a simulated machine),
// then runs the start-up routine of the application object, which runs the
// main window.
//
// Options of our own, for documentation and tests:
//   --screenshot FILE.png   draw the window once into FILE.png and end
//   --details               with --screenshot: show the S.M.A.R.T. details
//   --system                with --screenshot: show the system information
//   --memory, --performance, --settings, --about  with --screenshot: show that pane
//   --benchmark             with --screenshot: show the benchmark pane
//   --graph CODE:INTERVAL[:DISK]  show the graph pane with item CODE (300
//                           temperature ...) over interval 0-6, of disk
//                           DISK (1-based; the selected one when left out)
//   --bench FILE            measure start-up, refresh and memory, write the
//                           figures to FILE and end
//   --banner-url URL        download the banner text from URL instead of the
//                           maker's web site (a test's local server)
//   --link-log FILE         write each web link the program would open to
//                           FILE, one a line, instead of opening it
//   --delivery-log FILE     also write each alarm balloon, event-log record
//                           and alert sound to FILE (monitor/win32/DeliveryLog.h)
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/StavrionApp.h"
#include "base/DebugLog.h"
#include "monitor/MachineOption.h"
#include "monitor/win32/MainDialog.h"
#include "os/NativePlatform.h"
#include "os/win32/WinText.h"
#include "resources/resource.h"
#include "ui/win32/SkinControl.h"

namespace {

// The main window's class: the standard dialog class under the name
// "Stavrion", so other programs find the window by its class.
void RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (!GetClassInfoExW(nullptr, L"#32770", &wc)) return;
  wc.hInstance = instance;
  wc.lpszClassName = L"Stavrion";
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
  RegisterClassExW(&wc);
}

std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; argv != nullptr && i < count; ++i) args.push_back(os::WideToUtf8(argv[i]));
  if (argv != nullptr) LocalFree(argv);
  return args;
}

// Takes "--screenshot FILE", "--details", "--system", "--graph
// CODE:INTERVAL", "--benchmark", "--bench FILE", "--banner-url URL" and
// "--link-log FILE" and "--delivery-log FILE" out of `args`.
void TakeScreenshotOptions(std::vector<std::string>& args, std::wstring* file, bool* details,
                           bool* system, bool* benchmark, std::wstring* bench, int32_t* graphCode,
                           int32_t* graphInterval, int32_t* graphDisk, int* view,
                           std::string* bannerUrl, std::wstring* linkLog,
                           std::wstring* deliveryLog) {
  for (size_t i = 0; i < args.size();) {
    if (args[i] == "--graph" && i + 1 < args.size()) {
      int code = -1, interval = 0, disk = 0;
      if (std::sscanf(args[i + 1].c_str(), "%d:%d:%d", &code, &interval, &disk) >= 1) {
        *graphCode = code;
        *graphInterval = interval;
        *graphDisk = disk - 1;
      }
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                 args.begin() + static_cast<std::ptrdiff_t>(i + 2));
    } else if ((args[i] == "--screenshot" || args[i] == "--bench") && i + 1 < args.size()) {
      *(args[i] == "--bench" ? bench : file) = os::Utf8ToWide(args[i + 1]);
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                 args.begin() + static_cast<std::ptrdiff_t>(i + 2));
    } else if ((args[i] == "--banner-url" || args[i] == "--link-log" ||
                args[i] == "--delivery-log") &&
               i + 1 < args.size()) {
      if (args[i] == "--banner-url") {
        *bannerUrl = args[i + 1];
      } else {
        *(args[i] == "--link-log" ? linkLog : deliveryLog) = os::Utf8ToWide(args[i + 1]);
      }
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                 args.begin() + static_cast<std::ptrdiff_t>(i + 2));
    } else if (args[i] == "--memory" || args[i] == "--performance" || args[i] == "--settings" ||
               args[i] == "--about") {
      *view = args[i] == "--memory"     ? 2
              : args[i] == "--settings" ? 3
              : args[i] == "--about"    ? 7
                                        : 8;
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
    } else if (args[i] == "--details" || args[i] == "--system" || args[i] == "--benchmark") {
      *(args[i] == "--details" ? details : args[i] == "--system" ? system : benchmark) = true;
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR /*command*/, int /*show*/) {
  LARGE_INTEGER processStart;
  QueryPerformanceCounter(&processStart);
  SetProcessDPIAware();
  SetErrorMode(SEM_FAILCRITICALERRORS);
  RegisterMainWindowClass(instance);
  INITCOMMONCONTROLSEX icc{sizeof(icc), 0xFF};
  InitCommonControlsEx(&icc);
  ui::CGdiplusSession gdiplus;

  std::vector<std::string> args = Arguments();
  // The machine option counts only as the first arguments; everything after
  // it follows the start-up's own rules.
  monitor::MachineOption option;
  std::string error;
  if (!args.empty() && args[0].rfind("--machine", 0) == 0) {
    std::vector<std::string> head(
        args.begin(), args.begin() + (args[0] == "--machine" && args.size() > 1 ? 2 : 1));
    args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(head.size()));
    if (!monitor::TakeMachineOption(head, &option, &error) || !head.empty()) {
      MessageBoxW(nullptr, os::Utf8ToWide(error.empty() ? "bad --machine option" : error).c_str(),
                  L"StavrionGui", MB_OK | MB_ICONERROR);
      return 2;
    }
  }
  std::wstring screenshot;
  std::wstring bench;
  bool details = false;
  bool systemPane = false;
  bool benchmarkPane = false;
  int32_t graphCode = -1, graphInterval = 0, graphDisk = -1;
  int view = 0;
  std::string bannerUrl;
  std::wstring linkLog;
  std::wstring deliveryLog;
  TakeScreenshotOptions(args, &screenshot, &details, &systemPane, &benchmarkPane, &bench,
                        &graphCode, &graphInterval, &graphDisk, &view, &bannerUrl, &linkLog,
                        &deliveryLog);

  std::unique_ptr<monitor::CMachine> machine = monitor::CMachine::Open(option, &error);
  if (!machine) {
    MessageBoxW(nullptr, os::Utf8ToWide(error).c_str(), L"StavrionGui", MB_OK | MB_ICONERROR);
    return 2;
  }
  os::NativePlatform native;
  os::Platform system = native.Get();
  os::Platform disks = machine->Get();
  app::CStavrionApp application(system);
  int result = 0;
  application.Run(args, [&](app::CStavrionApp& app) {
    monitor::MainDialogSetup setup;
    setup.Platform = &disks;
    setup.System = &system;
    setup.ExeFolder = app.ExeFolder();
    setup.UpdaterFolder = app.UpdaterFolder();
    setup.BannerUrl = bannerUrl;
    setup.LinkLog = linkLog;
    setup.DeliveryLog = deliveryLog;
    setup.Settings = &app.Settings();
    setup.LanguageFolder = os::Utf8ToWide(app.LanguageFolder());
    setup.CustomizationFolder = os::Utf8ToWide(app.CustomizationFolder());
    setup.SmartFolder = app.SmartFolder();
    setup.OpusDecoderPath = os::Utf8ToWide(app.OpusDecoderPath());
    if (os::sim::CSimPlatform* sim = machine->Sim()) {
      // A simulated machine's clock follows the real one, so history records
      // and alarm periods fall on today's dates.
      setup.BeforeWork = [sim] {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        const uint64_t t = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
        sim->Clock().SetNow(static_cast<int64_t>(t / 10000000ULL) - 11644473600LL);
      };
    }
    setup.Screenshot = screenshot;
    setup.ScreenshotDetails = details;
    setup.ScreenshotSystem = systemPane;
    setup.ScreenshotView = view;
    setup.ScreenshotBenchmark = benchmarkPane;
    setup.ScreenshotGraphCode = graphCode;
    setup.ScreenshotGraphInterval = graphInterval;
    setup.ScreenshotGraphDisk = graphDisk;
    setup.Bench = bench;
    setup.ProcessStart = processStart.QuadPart;
    monitor::CMainDialog dialog(setup);
    const INT_PTR r = dialog.DoModal(IDD_MAIN, nullptr);
    // 1: no disk found; 3: the screenshot could not be written.
    result = dialog.DiskCount() == 0 ? 1 : r == IDABORT ? 3 : 0;
  });
  return result;
}
