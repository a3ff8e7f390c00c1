// GuiReader.exe: drives the window program from outside as a person (or a
// screen reader) would, and writes what its controls say. Used by
// scripts/gui-test.py under Wine. Every argument is one step:
//   start:ARGS     start StavrionGui.exe (beside this program) with ARGS and
//                  wait until its main window (class "Stavrion") is shown
//                  and idle; prints the milliseconds it took
//   dump           one line per visible control: id, class, rectangle in the
//                  main window's client area, text
//   list           the rows of the visible list, tab-separated: the item's
//                  image, the texts of columns 1, 2 ... and last column 0
//   key:F5         a key press (F1-F12, ESC) sent to the focused control
//   cmd:N          the command N sent to the main window
//   click:N        a click on control N (button)
//   pick:N         choose entry N of the visible disk selector
//   close          close the main window and wait for the program's end
// Output goes to the file named by --out (first argument).
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
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
// from another thread is handled at the receiver's next GetMessage, before
// the posted messages still queued; so one round trip only proves that the
// loop is alive. Each further round trip returns only after the posted message
// in front of it was dispatched, and a few rounds also cover the messages
// those handlers post in turn.
bool Idle() {
  for (int round = 0; round < 4; ++round) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(g_Main, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result) == 0) return false;
  }
  return true;
}

struct Finder {
  DWORD Pid;
  HWND Found;
};

BOOL CALLBACK FindMain(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<Finder*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == f->Pid && ClassOf(hwnd) == "Stavrion" && IsWindowVisible(hwnd)) {
    f->Found = hwnd;
    return FALSE;
  }
  return TRUE;
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
  for (int i = 0; i < 3000; ++i) {
    Finder f{g_Process.dwProcessId, nullptr};
    EnumWindows(FindMain, reinterpret_cast<LPARAM>(&f));
    if (f.Found != nullptr) {
      g_Main = f.Found;
      break;
    }
    if (WaitForSingleObject(g_Process.hProcess, 10) == WAIT_OBJECT_0) {
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
  RedrawWindow(g_Main, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  const auto ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
  std::fprintf(g_Out, "started %.1f\n", ms);
  std::fprintf(g_Out, "window \"%s\" class %s\n", Escaped(WindowText(g_Main)).c_str(),
               ClassOf(g_Main).c_str());
  RECT client;
  GetClientRect(g_Main, &client);
  std::fprintf(g_Out, "client %ld %ld\n", client.right, client.bottom);
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

UINT KeyOf(const std::string& name) {
  if (name == "ESC") return VK_ESCAPE;
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
  PostMessageW(target, WM_KEYDOWN, vk, 1);
  PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
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
    if (verb == "start") {
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
      PostMessageW(g_Main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(control));
    } else if (verb == "pick") {
      HWND combo = Visible("ComboBox");
      if (combo != nullptr) {
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(std::stoi(arg)), 0);
        PostMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
      }
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
