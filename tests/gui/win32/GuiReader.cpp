// GuiReader.exe: drives the window program from outside as a person (or a
// screen reader) would, and writes what its controls say. Used by
// scripts/gui-test.py under Wine. Every argument is one step:
//   start:ARGS     start StavrionGui.exe (beside this program) with ARGS and
//                  wait until its main window (class "Stavrion") is shown
//                  and idle; prints the milliseconds it took, and the
//                  splash window seen meanwhile ("splash size|region|text|
//                  gone ..." or "splash none")
//   dump           one line per visible control: id, class, rectangle in the
//                  main window's client area, text
//   list           the rows of the visible list, tab-separated: the item's
//                  image, the texts of columns 1, 2 ... and last column 0
//   key:F5         a key press (F1-F12, ESC, RETURN, arrows: LEFT RIGHT UP
//                  DOWN) sent to the focused control; prints "key F5 CLASS",
//                  the class of the window it went to
//   focus:CLASS    wait (up to 10 s) until the keyboard focus is in a window
//                  of class CLASS (a drop-down the step before opened), print
//                  "focus CLASS"; the run stops if it does not come
//   cmd:N          the command N sent to the main window
//   click:N        a click on control N (button), in the main window or
//                  the visible pane that holds it
//   enabled:ID:S   wait (up to S seconds) until the visible control of id ID
//                  is enabled, and print "enabled 1" or "enabled 0"
//   savefile:PATH  wait (up to 10 s) for the program's file dialog, enter
//                  PATH as the file name and press its OK button
//   pick:N         choose entry N of the visible disk selector
//   pick:ID:N      choose entry N of the visible combo box of control id ID
//                  (or, when N is not a number, the entry starting with N)
//   settext:ID:T   sets the text of the visible edit ID to T, as typing would
//                  (the program's answer to the change may be a message box)
//   check:ID:0|1   clears or sets the visible check box ID and clicks it
//   msgbox:ok|yes|no  waits (up to 10 s) for a message box of the program,
//                  prints "msgbox CAPTION\tTEXT" and presses the button
//   text:ID        wait (up to 10 s) until the visible control of id ID has
//                  a text, and print it
//   close          close the main window and wait for the program's end
//   post:MSG       posts message number MSG (wParam and lParam 0) to the
//                  main window
//   dialog         the dialogs the main window owns that are on show:
//                  "dialogs N", then for the first its title
//                  ("title TEXT") and one "ctl" line per control as dump
//                  does; steps naming a control id find them there too
//   postclose      ask the main window to close (WM_CLOSE) without waiting
//                  for the program's end (it may refuse)
//   state          "state running R visible V iconic I": whether the
//                  program still runs, its main window is visible and
//                  whether it is minimized
//   hover:ID       moves the mouse pointer down the middle of the visible
//                  control ID until its picture changes (a point's label):
//                  "hover X Y changed N box L T R B" (pointer, count of
//                  changed pixels and their box, in the control's client
//                  pixels) or "hover none"; then moves the pointer away and
//                  prints "left changed N" against the picture before;
//                  for a skinned control also "frame before|hover|left F",
//                  the frame of its image strip it says it shows
//   delete:PATH    deletes the file PATH, as another program might; prints
//                  "deleted 1" or "deleted 0"
//   setini:PATH|SECTION|KEY|VALUE  writes KEY=VALUE into SECTION of the
//                  settings file PATH, as a person editing it might; prints
//                  "setini 1" or "setini 0"
//   starthidden:ARGS  as start, for a program that starts with its window
//                  hidden (resident); prints whether the window is visible
//   tip:ID         the tooltip text of the visible control ID, read from the
//                  program's tooltip windows: "tip TEXT" or "tip none"
//   tray           the notification area as the shell shows it: one line
//                  "tip TEXT" per icon on show (its tooltip, read from the
//                  tooltip windows of the shell's process), and
//                  "balloon TITLE\tTEXT" for each balloon shown (waits up to
//                  5 s for one)
//   trayclick      a left click on the main tray icon, as the shell reports
//                  it to the program; prints whether the window is visible
//   taskbarcreated the shell's notice that the taskbar was made again, sent
//                  to the program as the shell broadcasts it
//   wait:MS        waits MS milliseconds (a picture is taken meanwhile)
//   reg:KEY        the values and subkeys under HKEY_CURRENT_USER\KEY (or
//                  HKEY_LOCAL_MACHINE for "HKLM\KEY"), one line each:
//                  "reg PATH NAME TYPE VALUE"
// Output goes to the file named by --out (first argument).
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

FILE* g_Out = stdout;
HWND g_Main = nullptr;
PROCESS_INFORMATION g_Process{};

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

std::wstring Wide(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

// Line breaks and tabs written as \n, \r and \t so one control is one line.
std::string Escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out;
}

std::string WindowText(HWND hwnd) {
  wchar_t buffer[4096];
  const LRESULT n = SendMessageW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
  return Utf8(std::wstring(buffer, static_cast<size_t>(n)));
}

std::string ClassOf(HWND hwnd) {
  wchar_t name[128];
  const int n = GetClassNameW(hwnd, name, 128);
  return Utf8(std::wstring(name, static_cast<size_t>(n)));
}

// Waits until the program has handled what the steps posted. A message sent
// from another thread is answered at the receiver's next GetMessage, before
// the posted messages still queued, so round trips of sent messages only
// prove that the loop is alive: a loaded machine answers them all before it
// dispatches a click posted ahead of them. So the program's idle probe is
// posted behind the steps' messages and its number read back from the main
// window's property: posted messages are dispatched in order. A second probe
// covers the messages those handlers post in turn. False when the program
// does not answer for 20 s.
bool Idle() {
  static const UINT probe = RegisterWindowMessageW(L"StavrionIdleProbe");
  static WPARAM serial = 0;
  for (int round = 0; round < 2; ++round) {
    const WPARAM mark = ++serial;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto repost = std::chrono::steady_clock::now();
    for (;;) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= until) return false;
      // Posted again now and then: a probe dispatched while the program was
      // still starting (before it listens for it) is lost.
      if (now >= repost) {
        if (!PostMessageW(g_Main, probe, mark, 0)) return false;
        repost = now + std::chrono::seconds(1);
      }
      DWORD_PTR result = 0;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
      if (SendMessageTimeoutW(g_Main, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(left) + 1,
                              &result) == 0) {
        return false;
      }
      if (reinterpret_cast<WPARAM>(GetPropW(g_Main, L"StavrionIdleProbe")) == mark) break;
      Sleep(5);
    }
  }
  return true;
}

struct Finder {
  DWORD Pid;
  HWND Found;
};

bool g_AcceptHidden = false;

// The splash window of the program, once seen while looking for its main
// window.
HWND g_Splash = nullptr;

BOOL CALLBACK FindMain(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<Finder*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != f->Pid) return TRUE;
  const std::string name = ClassOf(hwnd);
  if (name == "SplashScreenExClass" && g_Splash == nullptr) g_Splash = hwnd;
  if (name == "Stavrion" && (g_AcceptHidden || IsWindowVisible(hwnd))) {
    f->Found = hwnd;
    return FALSE;
  }
  return TRUE;
}

// The start-up splash window as it was seen while the program started: its
// shape and place, and each text it showed (read without a message to the
// program, which is busy starting).
struct SplashSeen {
  HWND Hwnd = nullptr;
  bool Visible = false;
  RECT Rect{};
  LONG ExStyle = 0;
  HWND Owner = nullptr;
  int RegionType = ERROR;
  RECT RegionBox{};
  std::vector<std::string> Texts;
};

void WatchSplash(SplashSeen& seen) {
  seen.Hwnd = g_Splash;
  if (seen.Hwnd == nullptr || !IsWindow(seen.Hwnd) || !IsWindowVisible(seen.Hwnd)) return;
  if (!seen.Visible) {
    seen.Visible = true;
    GetWindowRect(seen.Hwnd, &seen.Rect);
    seen.ExStyle = GetWindowLongW(seen.Hwnd, GWL_EXSTYLE);
    seen.Owner = GetWindow(seen.Hwnd, GW_OWNER);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    if (GetWindowRgn(seen.Hwnd, region) != ERROR) {
      seen.RegionType = GetRgnBox(region, &seen.RegionBox);
    }
    DeleteObject(region);
  }
  wchar_t text[512] = {};
  GetWindowTextW(seen.Hwnd, text, 512);
  const std::string now = Utf8(text);
  if (seen.Texts.empty() || seen.Texts.back() != now) seen.Texts.push_back(now);
}

void DumpSplash(const SplashSeen& seen) {
  if (!seen.Visible) {
    std::fprintf(g_Out, "splash none\n");
    return;
  }
  std::fprintf(g_Out, "splash size %ld %ld topmost %d toolwindow %d owner %d\n",
               seen.Rect.right - seen.Rect.left, seen.Rect.bottom - seen.Rect.top,
               (seen.ExStyle & WS_EX_TOPMOST) != 0 ? 1 : 0,
               (seen.ExStyle & WS_EX_TOOLWINDOW) != 0 ? 1 : 0, seen.Owner == g_Main ? 1 : 0);
  std::fprintf(g_Out, "splash region %s %ld %ld %ld %ld\n",
               seen.RegionType == COMPLEXREGION  ? "complex"
               : seen.RegionType == SIMPLEREGION ? "simple"
                                                 : "none",
               seen.RegionBox.left, seen.RegionBox.top, seen.RegionBox.right,
               seen.RegionBox.bottom);
  for (const std::string& t : seen.Texts)
    std::fprintf(g_Out, "splash text %s\n", Escaped(t).c_str());
  std::fprintf(g_Out, "splash gone %d\n", IsWindow(seen.Hwnd) ? 0 : 1);
}

bool Start(const std::string& args) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder(self);
  folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
  std::wstring command = L"\"" + folder + L"StavrionGui.exe\" " + Wide(args);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  const auto begin = std::chrono::steady_clock::now();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &si, &g_Process)) {
    std::fprintf(g_Out, "error start %lu\n", GetLastError());
    return false;
  }
  SplashSeen splash;
  g_Splash = nullptr;
  // Looked at every millisecond or so: the splash window lives only while
  // the program starts.
  for (int i = 0; i < 30000; ++i) {
    Finder f{g_Process.dwProcessId, nullptr};
    EnumWindows(FindMain, reinterpret_cast<LPARAM>(&f));
    WatchSplash(splash);
    if (f.Found != nullptr) {
      g_Main = f.Found;
      break;
    }
    if (WaitForSingleObject(g_Process.hProcess, 1) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(g_Process.hProcess, &code);
      std::fprintf(g_Out, "error ended %lu\n", code);
      return false;
    }
  }
  if (g_Main == nullptr) {
    std::fprintf(g_Out, "error no window\n");
    return false;
  }
  Idle();
  if (g_AcceptHidden) {
    // The program's start-up ends with the window's first show (or not).
    Sleep(500);
    Idle();
    std::fprintf(g_Out, "visible %d\n", IsWindowVisible(g_Main) ? 1 : 0);
  }
  RedrawWindow(g_Main, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  const auto ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
  std::fprintf(g_Out, "started %.1f\n", ms);
  std::fprintf(g_Out, "window \"%s\" class %s\n", Escaped(WindowText(g_Main)).c_str(),
               ClassOf(g_Main).c_str());
  RECT client;
  GetClientRect(g_Main, &client);
  std::fprintf(g_Out, "client %ld %ld\n", client.right, client.bottom);
  POINT origin{0, 0};
  ClientToScreen(g_Main, &origin);
  std::fprintf(g_Out, "origin %ld %ld\n", origin.x, origin.y);
  DumpSplash(splash);
  return true;
}

BOOL CALLBACK DumpChild(HWND hwnd, LPARAM) {
  if (!IsWindowVisible(hwnd)) return TRUE;
  RECT r;
  GetWindowRect(hwnd, &r);
  MapWindowPoints(nullptr, g_Main, reinterpret_cast<POINT*>(&r), 2);
  std::fprintf(g_Out, "ctl %d %s %ld %ld %ld %ld %d %s\n", GetDlgCtrlID(hwnd),
               ClassOf(hwnd).c_str(), r.left, r.top, r.right - r.left, r.bottom - r.top,
               IsWindowEnabled(hwnd) ? 1 : 0, Escaped(WindowText(hwnd)).c_str());
  return TRUE;
}

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<std::pair<std::string, HWND>*>(lp);
  if (IsWindowVisible(hwnd) && ClassOf(hwnd) == f->first) {
    f->second = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindVisibleId(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<std::pair<int, HWND>*>(lp);
  if (IsWindowVisible(hwnd) && GetDlgCtrlID(hwnd) == f->first) {
    f->second = hwnd;
    return FALSE;
  }
  return TRUE;
}

// The visible dialogs (a window of their own) the main window owns.
std::vector<HWND> OwnedDialogs() {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND hwnd, LPARAM lp) -> BOOL {
        if (IsWindowVisible(hwnd) && GetWindow(hwnd, GW_OWNER) == g_Main &&
            ClassOf(hwnd) == "#32770") {
          reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The visible control of `id` anywhere in the main window (panes included),
// else in a dialog it owns.
HWND VisibleId(int id) {
  std::pair<int, HWND> f{id, nullptr};
  EnumChildWindows(g_Main, FindVisibleId, reinterpret_cast<LPARAM>(&f));
  for (HWND dialog : OwnedDialogs()) {
    if (f.second == nullptr) EnumChildWindows(dialog, FindVisibleId, reinterpret_cast<LPARAM>(&f));
  }
  return f.second;
}

HWND Visible(const char* className) {
  std::pair<std::string, HWND> f{className, nullptr};
  EnumChildWindows(g_Main, FindVisible, reinterpret_cast<LPARAM>(&f));
  return f.second;
}

// Reads a list item through memory of the program's own process: list
// messages carry pointers, which do not cross processes by themselves.
void DumpList() {
  // A pane opened by a key shows its list once the program has got round to
  // it; a loaded machine may need a moment more.
  HWND list = Visible("SysListView32");
  for (int wait = 0; wait < 100; ++wait) {
    if (list != nullptr) {
      HWND head = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
      if (SendMessageW(head, HDM_GETITEMCOUNT, 0, 0) > 0 &&
          SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0) {
        break;
      }
    }
    Sleep(50);
    Idle();
    list = Visible("SysListView32");
  }
  if (list == nullptr) {
    std::fprintf(g_Out, "list none\n");
    return;
  }
  const auto rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const auto columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  std::fprintf(g_Out, "list %d rows %d columns\n", rows, columns);
  const size_t chars = 512;
  const size_t size = sizeof(LVITEMW) + chars * sizeof(wchar_t);
  void* remote = VirtualAllocEx(g_Process.hProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  if (remote == nullptr) return;
  auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
  for (int c = 0; c < columns; ++c) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT;
    col.pszText = remoteText;
    col.cchTextMax = static_cast<int>(chars);
    WriteProcessMemory(g_Process.hProcess, remote, &col, sizeof(col), nullptr);
    SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(remote));
    wchar_t text[512] = {};
    ReadProcessMemory(g_Process.hProcess, remoteText, text, sizeof(text) - sizeof(wchar_t),
                      nullptr);
    std::fprintf(g_Out, "%s%s", c == 0 ? "head" : "", ("\t" + Escaped(Utf8(text))).c_str());
  }
  std::fprintf(g_Out, "\n");
  for (int r = 0; r < rows; ++r) {
    std::string line = "row";
    LVITEMW image{};
    image.mask = LVIF_IMAGE;
    image.iItem = r;
    WriteProcessMemory(g_Process.hProcess, remote, &image, sizeof(image), nullptr);
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote));
    ReadProcessMemory(g_Process.hProcess, remote, &image, sizeof(image), nullptr);
    line += "\t" + std::to_string(image.iImage);
    // Column 0 of the attribute list holds only the icon; its text (the
    // item of a two-column list) comes last, so the fields before it keep
    // their places.
    for (int c = 1; c <= columns; ++c) {
      const int column = c == columns ? 0 : c;
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = remoteText;
      item.cchTextMax = static_cast<int>(chars);
      WriteProcessMemory(g_Process.hProcess, remote, &item, sizeof(item), nullptr);
      SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(r),
                   reinterpret_cast<LPARAM>(remote));
      wchar_t text[512] = {};
      ReadProcessMemory(g_Process.hProcess, remoteText, text, sizeof(text) - sizeof(wchar_t),
                        nullptr);
      line += "\t" + Escaped(Utf8(text));
    }
    std::fprintf(g_Out, "%s\n", line.c_str());
  }
  VirtualFreeEx(g_Process.hProcess, remote, 0, MEM_RELEASE);
}

// ---- the notification area, read from the shell's own windows ------------

struct TipWindows {
  DWORD Program;  // the program's process
  std::vector<HWND> Found;
};

BOOL CALLBACK FindShellTips(HWND hwnd, LPARAM lp) {
  auto* t = reinterpret_cast<TipWindows*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != t->Program && pid != GetCurrentProcessId() && ClassOf(hwnd) == "tooltips_class32") {
    t->Found.push_back(hwnd);
  }
  return TRUE;
}

// One tool of a tooltip window: its flags, window, id, rectangle and text.
struct Tool {
  TTTOOLINFOW Info{};
  std::string Text;
};

// Reads a tooltip's tools (and its title, for a balloon) through memory of
// the process that owns it, as tooltip messages carry pointers.
std::vector<Tool> ToolsOf(HWND tip, std::string* title) {
  std::vector<Tool> tools;
  DWORD pid = 0;
  GetWindowThreadProcessId(tip, &pid);
  HANDLE process =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (process == nullptr) return tools;
  const size_t chars = 1024;
  const size_t size = sizeof(TTTOOLINFOW) + chars * sizeof(wchar_t);
  void* remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  if (remote == nullptr) {
    CloseHandle(process);
    return tools;
  }
  auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(TTTOOLINFOW));
  if (title != nullptr) {
    TTGETTITLE t{};
    t.dwSize = sizeof(t);
    t.cch = static_cast<UINT>(chars);
    t.pszTitle = remoteText;
    WriteProcessMemory(process, remote, &t, sizeof(t), nullptr);
    SendMessageW(tip, TTM_GETTITLE, 0, reinterpret_cast<LPARAM>(remote));
    wchar_t text[1024] = {};
    ReadProcessMemory(process, remoteText, text, sizeof(text) - sizeof(wchar_t), nullptr);
    *title = Utf8(text);
  }
  const auto count = static_cast<int>(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
  for (int k = 0; k < count; ++k) {
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.lpszText = remoteText;
    const wchar_t zero = 0;
    WriteProcessMemory(process, remoteText, &zero, sizeof(zero), nullptr);
    WriteProcessMemory(process, remote, &info, sizeof(info), nullptr);
    if (!SendMessageW(tip, TTM_ENUMTOOLSW, static_cast<WPARAM>(k),
                      reinterpret_cast<LPARAM>(remote))) {
      continue;
    }
    Tool tool;
    ReadProcessMemory(process, remote, &tool.Info, sizeof(tool.Info), nullptr);
    wchar_t text[1024] = {};
    ReadProcessMemory(process, remoteText, text, sizeof(text) - sizeof(wchar_t), nullptr);
    tool.Text = Utf8(text);
    tools.push_back(tool);
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return tools;
}

void DumpShellTip(HWND tip, bool* balloonSeen) {
  const bool balloon = (GetWindowLongW(tip, GWL_STYLE) & TTS_BALLOON) != 0;
  std::string title;
  for (const Tool& tool : ToolsOf(tip, balloon ? &title : nullptr)) {
    if (balloon) {
      if (IsWindowVisible(tip)) {
        std::fprintf(g_Out, "balloon %s\t%s\n", Escaped(title).c_str(), Escaped(tool.Text).c_str());
        *balloonSeen = true;
      }
    } else {
      // The shell keeps the tool of an icon it no longer shows, with an
      // empty rectangle: only the icons on show count.
      const RECT& r = tool.Info.rect;
      if (r.right <= r.left || r.bottom <= r.top) continue;
      std::fprintf(g_Out, "tip %s\n", Escaped(tool.Text).c_str());
    }
  }
}

BOOL CALLBACK FindProgramTips(HWND hwnd, LPARAM lp) {
  auto* t = reinterpret_cast<TipWindows*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == t->Program && ClassOf(hwnd) == "tooltips_class32") t->Found.push_back(hwnd);
  return TRUE;
}

// The tooltip text the program gave its visible control `id`, read from the
// program's own tooltip windows.
void DumpControlTip(int id) {
  HWND control = VisibleId(id);
  if (control == nullptr) {
    std::fprintf(g_Out, "error no control %d\n", id);
    return;
  }
  TipWindows t{g_Process.dwProcessId, {}};
  EnumWindows(FindProgramTips, reinterpret_cast<LPARAM>(&t));
  for (HWND tip : t.Found) {
    for (const Tool& tool : ToolsOf(tip, nullptr)) {
      if ((tool.Info.uFlags & TTF_IDISHWND) != 0 &&
          tool.Info.uId == reinterpret_cast<UINT_PTR>(control)) {
        std::fprintf(g_Out, "tip %s\n", Escaped(tool.Text).c_str());
        return;
      }
    }
  }
  std::fprintf(g_Out, "tip none\n");
}

void DumpTray() {
  bool balloon = false;
  for (int wait = 0; wait < 50; ++wait) {
    TipWindows t{g_Process.dwProcessId, {}};
    EnumWindows(FindShellTips, reinterpret_cast<LPARAM>(&t));
    bool found = false;
    for (HWND h : t.Found) {
      if ((GetWindowLongW(h, GWL_STYLE) & TTS_BALLOON) != 0 && IsWindowVisible(h)) found = true;
    }
    if (found || wait == 49) {
      for (HWND h : t.Found) DumpShellTip(h, &balloon);
      break;
    }
    Sleep(100);
  }
  if (!balloon) std::fprintf(g_Out, "balloon none\n");
}

void TrayClick() {
  const UINT message = RegisterWindowMessageW(L"Stavrion");
  const UINT id = RegisterWindowMessageW(L"StavrionIcon");
  PostMessageW(g_Main, message, id, WM_LBUTTONDOWN);
  Idle();
  Sleep(200);
  Idle();
  std::fprintf(g_Out, "visible %d\n", IsWindowVisible(g_Main) ? 1 : 0);
}

void DumpKey(HKEY parent, const std::wstring& path, int depth) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    std::fprintf(g_Out, "reg %s missing\n", Escaped(Utf8(path)).c_str());
    return;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256, type = 0;
    BYTE data[2048];
    DWORD dataSize = sizeof(data);
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &dataSize) !=
        ERROR_SUCCESS) {
      break;
    }
    std::string value;
    if (type == REG_DWORD && dataSize == 4) {
      DWORD v = 0;
      std::memcpy(&v, data, 4);
      value = std::to_string(v);
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
      value =
          Utf8(std::wstring(reinterpret_cast<const wchar_t*>(data), dataSize / sizeof(wchar_t)));
      while (!value.empty() && value.back() == '\0') value.pop_back();
    }
    std::fprintf(g_Out, "reg %s\t%s\t%s\t%s\n", Escaped(Utf8(path)).c_str(),
                 Escaped(Utf8(name)).c_str(),
                 type == REG_DWORD       ? "DWORD"
                 : type == REG_EXPAND_SZ ? "EXPAND_SZ"
                 : type == REG_SZ        ? "SZ"
                                         : "OTHER",
                 Escaped(value).c_str());
  }
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    subkeys.emplace_back(name, nameLength);
  }
  RegCloseKey(key);
  for (const std::wstring& sub : subkeys) {
    std::fprintf(g_Out, "regkey %s\n", Escaped(Utf8(path + L"\\" + sub)).c_str());
    if (depth < 4) DumpKey(parent, path + L"\\" + sub, depth + 1);
  }
}

UINT KeyOf(const std::string& name) {
  if (name == "ESC") return VK_ESCAPE;
  if (name == "RETURN") return VK_RETURN;
  if (name == "RIGHT") return VK_RIGHT;
  if (name == "LEFT") return VK_LEFT;
  if (name == "DOWN") return VK_DOWN;
  if (name == "UP") return VK_UP;
  if (name.size() >= 2 && name[0] == 'F')
    return VK_F1 + static_cast<UINT>(std::stoi(name.substr(1))) - 1;
  return 0;
}

void Key(const std::string& name) {
  const UINT vk = KeyOf(name);
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetWindowThreadProcessId(g_Main, nullptr), &info);
  HWND target = info.hwndFocus != nullptr ? info.hwndFocus : g_Main;
  std::fprintf(g_Out, "key %s %s\n", name.c_str(), ClassOf(target).c_str());
  PostMessageW(target, WM_KEYDOWN, vk, 1);
  PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
}

// Waits (up to 10 s) until the program's keyboard focus is in a window of
// class `className` (a drop-down or dialog the last step opens), so the keys
// that follow reach it: the round trips of Idle() can be answered while the
// program is still inside the handler that opens it (it sends messages to
// other threads meanwhile), so they alone do not prove it is there.
bool WaitFocus(const std::string& className) {
  std::string focused;
  for (int wait = 0; wait < 200; ++wait) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(g_Main, nullptr), &info);
    focused = info.hwndFocus != nullptr ? ClassOf(info.hwndFocus) : "";
    if (focused == className) {
      std::fprintf(g_Out, "focus %s\n", focused.c_str());
      return true;
    }
    Sleep(50);
    Idle();
  }
  std::fprintf(g_Out, "error focus %s, not %s\n", focused.empty() ? "(none)" : focused.c_str(),
               className.c_str());
  return false;
}

bool Close() {
  PostMessageW(g_Main, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(g_Process.hProcess, 20000) != WAIT_OBJECT_0) {
    std::fprintf(g_Out, "error still running\n");
    TerminateProcess(g_Process.hProcess, 9);
    return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(g_Process.hProcess, &code);
  std::fprintf(g_Out, "exit %lu\n", code);
  return true;
}

// The program's file dialog: a visible top-level "#32770" window of its
// process other than the main window.
BOOL CALLBACK FindFileDialog(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<Finder*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t cls[32] = {};
  GetClassNameW(hwnd, cls, 32);
  if (pid == f->Pid && hwnd != g_Main && IsWindowVisible(hwnd) && std::wstring(cls) == L"#32770") {
    f->Found = hwnd;
    return FALSE;
  }
  return TRUE;
}

bool SaveFile(const std::string& path) {
  Finder f{g_Process.dwProcessId, nullptr};
  for (int wait = 0; wait < 100 && f.Found == nullptr; ++wait) {
    EnumWindows(FindFileDialog, reinterpret_cast<LPARAM>(&f));
    if (f.Found == nullptr) Sleep(100);
  }
  if (f.Found == nullptr) {
    std::fprintf(g_Out, "error no file dialog\n");
    return false;
  }
  // The file-name field: the edit of the explorer-style dialog's combo
  // (1148), or the old-style edit (1152).
  HWND name = GetDlgItem(f.Found, 1148);
  if (name == nullptr) name = GetDlgItem(f.Found, 1152);
  if (name == nullptr) {
    std::fprintf(g_Out, "error no file name field\n");
    return false;
  }
  const std::wstring wide(path.begin(), path.end());
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  PostMessageW(f.Found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(f.Found, IDOK)));
  // The dialog closes and the program writes the file.
  for (int wait = 0; wait < 100 && IsWindow(f.Found); ++wait) Sleep(100);
  std::fprintf(g_Out, "saved %s\n", IsWindow(f.Found) ? "no" : "yes");
  return true;
}

// A message box of the program: its caption and text, then the button.
bool AnswerMessageBox(const std::string& answer) {
  Finder f{g_Process.dwProcessId, nullptr};
  for (int wait = 0; wait < 100 && f.Found == nullptr; ++wait) {
    EnumWindows(FindFileDialog, reinterpret_cast<LPARAM>(&f));
    if (f.Found == nullptr) Sleep(100);
  }
  if (f.Found == nullptr) {
    std::fprintf(g_Out, "error no message box\n");
    return false;
  }
  // The message text is the static of id 0xFFFF.
  HWND text = GetDlgItem(f.Found, 0xFFFF);
  std::fprintf(g_Out, "msgbox %s\t%s\n", Escaped(WindowText(f.Found)).c_str(),
               text != nullptr ? Escaped(WindowText(text)).c_str() : "");
  const int button = answer == "yes" ? IDYES : answer == "no" ? IDNO : IDOK;
  PostMessageW(f.Found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(f.Found, button)));
  for (int wait = 0; wait < 100 && IsWindow(f.Found); ++wait) Sleep(50);
  return true;
}

// The screen pixels of a window's rectangle (the pointer is not part of
// them).
std::vector<COLORREF> Capture(const RECT& r) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  std::vector<COLORREF> pixels;
  if (w <= 0 || h <= 0) return pixels;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(dc, old);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
  GetDIBits(dc, bitmap, 0, static_cast<UINT>(h), pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return pixels;
}

struct Change {
  int Count = 0;
  RECT Box{};
};

Change Compare(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b, int width) {
  Change c;
  c.Box = {width, 1 << 30, -1, -1};
  for (size_t i = 0; i < a.size() && i < b.size() && width > 0; ++i) {
    if (a[i] == b[i]) continue;
    const int x = static_cast<int>(i % static_cast<size_t>(width));
    const int y = static_cast<int>(i / static_cast<size_t>(width));
    ++c.Count;
    c.Box.left = std::min<LONG>(c.Box.left, x);
    c.Box.top = std::min<LONG>(c.Box.top, y);
    c.Box.right = std::max<LONG>(c.Box.right, x + 1);
    c.Box.bottom = std::max<LONG>(c.Box.bottom, y + 1);
  }
  return c;
}

void Hover(int id) {
  HWND control = VisibleId(id);
  if (control == nullptr) {
    std::fprintf(g_Out, "error no control %d\n", id);
    return;
  }
  RECT r;
  GetClientRect(control, &r);
  MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&r), 2);
  const int width = r.right - r.left;
  SetCursorPos(0, 0);
  Sleep(300);
  Idle();
  const std::vector<COLORREF> before = Capture(r);
  // A skinned control says which frame of its image strip it shows.
  auto frame = [control](const char* when) {
    const auto shown = reinterpret_cast<INT_PTR>(GetPropW(control, L"StavrionFrame"));
    if (shown != 0) std::fprintf(g_Out, "frame %s %d\n", when, static_cast<int>(shown - 1));
  };
  frame("before");
  const int x = width * 3 / 4;
  bool found = false;
  for (int y = 2; y < r.bottom - r.top && !found; y += 3) {
    SetCursorPos(r.left + x, r.top + y);
    Sleep(15);
    Idle();
    Change c = Compare(before, Capture(r), width);
    if (c.Count > 60) {
      // Read again at rest: a late answer may belong to a place passed.
      Sleep(200);
      Idle();
      c = Compare(before, Capture(r), width);
    }
    // A few pixels may be anti-aliasing noise; a label is far more.
    if (c.Count > 60) {
      std::fprintf(g_Out, "hover %d %d changed %d box %ld %ld %ld %ld\n", x, y, c.Count, c.Box.left,
                   c.Box.top, c.Box.right, c.Box.bottom);
      found = true;
      frame("hover");
    }
  }
  if (!found) std::fprintf(g_Out, "hover none\n");
  // The window hears that the pointer left on a timer of the mouse hover
  // time (400 ms by default): waited for up to 3 s.
  SetCursorPos(0, 0);
  int left = 0;
  for (int wait = 0; wait < 30; ++wait) {
    Sleep(100);
    Idle();
    left = Compare(before, Capture(r), width).Count;
    if (left == 0) break;
  }
  std::fprintf(g_Out, "left changed %d\n", left);
  frame("left");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int first = 1;
  if (argc > 2 && std::wstring(argv[1]) == L"--out") {
    g_Out = _wfopen(argv[2], L"wb");
    if (g_Out == nullptr) return 2;
    first = 3;
  }
  bool ok = true;
  for (int i = first; i < argc && ok; ++i) {
    const std::string step = Utf8(argv[i]);
    const size_t colon = step.find(':');
    const std::string verb = step.substr(0, colon);
    const std::string arg = colon == std::string::npos ? "" : step.substr(colon + 1);
    std::fprintf(g_Out, "# %s\n", step.c_str());
    if (verb == "start" || verb == "starthidden") {
      g_AcceptHidden = verb == "starthidden";
      ok = Start(arg);
    } else if (g_Main == nullptr) {
      std::fprintf(g_Out, "error not started\n");
      ok = false;
    } else if (verb == "dump") {
      EnumChildWindows(g_Main, DumpChild, 0);
    } else if (verb == "list") {
      DumpList();
    } else if (verb == "key") {
      Key(arg);
    } else if (verb == "cmd") {
      PostMessageW(g_Main, WM_COMMAND, MAKEWPARAM(std::stoi(arg), 0), 0);
    } else if (verb == "click") {
      const int id = std::stoi(arg);
      HWND control = GetDlgItem(g_Main, id);
      HWND owner = g_Main;
      if (control == nullptr && (control = VisibleId(id)) != nullptr) owner = GetParent(control);
      PostMessageW(owner, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(control));
    } else if (verb == "enabled") {
      const size_t second = arg.find(':');
      const int id = std::stoi(arg.substr(0, second));
      const int seconds = second == std::string::npos ? 10 : std::stoi(arg.substr(second + 1));
      bool enabled = false;
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
      while (!enabled && std::chrono::steady_clock::now() < until) {
        HWND control = VisibleId(id);
        enabled = control != nullptr && IsWindowEnabled(control);
        if (!enabled) Sleep(100);
      }
      std::fprintf(g_Out, "enabled %d\n", enabled ? 1 : 0);
    } else if (verb == "settext") {
      const size_t second = arg.find(':');
      HWND edit = VisibleId(std::stoi(arg.substr(0, second)));
      const std::wstring text = Wide(second == std::string::npos ? "" : arg.substr(second + 1));
      DWORD_PTR answer = 0;
      // Not waiting past a message box the change may bring up.
      if (edit != nullptr) {
        SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                            SMTO_NORMAL, 1500, &answer);
      } else {
        std::fprintf(g_Out, "error no control %s\n", arg.c_str());
      }
    } else if (verb == "check") {
      const size_t second = arg.find(':');
      const int id = std::stoi(arg.substr(0, second));
      HWND box = VisibleId(id);
      if (box != nullptr) {
        const bool on = second != std::string::npos && arg.substr(second + 1) == "1";
        SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
        PostMessageW(GetParent(box), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(box));
      } else {
        std::fprintf(g_Out, "error no control %d\n", id);
      }
    } else if (verb == "focus") {
      ok = WaitFocus(arg);
    } else if (verb == "msgbox") {
      ok = AnswerMessageBox(arg);
    } else if (verb == "savefile") {
      ok = SaveFile(arg);
    } else if (verb == "text") {
      HWND control = nullptr;
      for (int wait = 0; wait < 200; ++wait) {
        control = VisibleId(std::stoi(arg));
        if (control != nullptr && !WindowText(control).empty()) break;
        Sleep(50);
        Idle();
      }
      std::fprintf(g_Out, "text %s\n",
                   control != nullptr ? Escaped(WindowText(control)).c_str() : "(none)");
    } else if (verb == "pick") {
      const size_t second = arg.find(':');
      HWND combo = second == std::string::npos ? Visible("ComboBox")
                                               : VisibleId(std::stoi(arg.substr(0, second)));
      const std::string entry = second == std::string::npos ? arg : arg.substr(second + 1);
      if (combo != nullptr) {
        // A number is the entry's index; anything else the start of its text.
        const bool index =
            !entry.empty() && entry.find_first_not_of("0123456789") == std::string::npos;
        const std::wstring prefix(entry.begin(), entry.end());
        const LRESULT n = index ? std::stoi(entry)
                                : SendMessageW(combo, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(prefix.c_str()));
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(n), 0);
        PostMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
      }
    } else if (verb == "tip") {
      DumpControlTip(std::stoi(arg));
    } else if (verb == "tray") {
      DumpTray();
    } else if (verb == "taskbarcreated") {
      PostMessageW(g_Main, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    } else if (verb == "wait") {
      Sleep(static_cast<DWORD>(std::stoi(arg)));
    } else if (verb == "trayclick") {
      TrayClick();
    } else if (verb == "reg") {
      // "HKLM\\..." reads the local machine's tree instead.
      if (arg.rfind("HKLM\\", 0) == 0) {
        DumpKey(HKEY_LOCAL_MACHINE, Wide(arg.substr(5)), 0);
      } else {
        DumpKey(HKEY_CURRENT_USER, Wide(arg), 0);
      }
    } else if (verb == "post") {
      PostMessageW(g_Main, static_cast<UINT>(std::stoul(arg)), 0, 0);
    } else if (verb == "dialog") {
      const std::vector<HWND> dialogs = OwnedDialogs();
      std::fprintf(g_Out, "dialogs %zu\n", dialogs.size());
      if (!dialogs.empty()) {
        std::fprintf(g_Out, "title %s\n", Escaped(WindowText(dialogs[0])).c_str());
        EnumChildWindows(dialogs[0], DumpChild, 0);
      }
    } else if (verb == "postclose") {
      PostMessageW(g_Main, WM_CLOSE, 0, 0);
    } else if (verb == "state") {
      const bool running = WaitForSingleObject(g_Process.hProcess, 0) == WAIT_TIMEOUT;
      const bool window = running && IsWindow(g_Main);
      std::fprintf(g_Out, "state running %d visible %d iconic %d\n", running ? 1 : 0,
                   window && IsWindowVisible(g_Main) ? 1 : 0, window && IsIconic(g_Main) ? 1 : 0);
    } else if (verb == "hover") {
      Hover(std::stoi(arg));
    } else if (verb == "delete") {
      std::fprintf(g_Out, "deleted %d\n", DeleteFileW(Wide(arg).c_str()) ? 1 : 0);
    } else if (verb == "setini") {
      std::vector<std::wstring> parts;
      for (size_t at = 0;;) {
        const size_t bar = arg.find('|', at);
        parts.push_back(Wide(arg.substr(at, bar == std::string::npos ? bar : bar - at)));
        if (bar == std::string::npos) break;
        at = bar + 1;
      }
      const bool written =
          parts.size() == 4 && WritePrivateProfileStringW(parts[1].c_str(), parts[2].c_str(),
                                                          parts[3].c_str(), parts[0].c_str());
      std::fprintf(g_Out, "setini %d\n", written ? 1 : 0);
    } else if (verb == "close") {
      ok = Close();
      g_Main = nullptr;
    } else {
      std::fprintf(g_Out, "error unknown step %s\n", step.c_str());
      ok = false;
    }
    if (ok && g_Main != nullptr && !Idle()) {
      std::fprintf(g_Out, "error not responding\n");
      ok = false;
    }
    std::fflush(g_Out);
  }
  if (g_Process.hProcess != nullptr) {
    if (WaitForSingleObject(g_Process.hProcess, 0) != WAIT_OBJECT_0) {
      TerminateProcess(g_Process.hProcess, 9);
    }
    CloseHandle(g_Process.hProcess);
    CloseHandle(g_Process.hThread);
  }
  std::fprintf(g_Out, "done %s\n", ok ? "ok" : "failed");
  if (g_Out != stdout) std::fclose(g_Out);
  return ok ? 0 : 1;
}
