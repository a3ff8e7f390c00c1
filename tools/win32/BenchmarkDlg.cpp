#include "tools/win32/BenchmarkDlg.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "os/BenchFiles.h"
#include "os/win32/WinText.h"
#include "resources/resource.h"
#include "tools/BenchHost.h"
#include "ui/win32/Gdiplus.h"

namespace tools {
namespace {

constexpr COLORREF BACKGROUND = RGB(244, 245, 247);
constexpr COLORREF TEXT_GREY = RGB(100, 100, 100);
constexpr COLORREF LAMP_ON = RGB(76, 175, 80);
constexpr COLORREF LAMP_OFF = RGB(214, 217, 222);
// Marks the pane's own posts: only these carry a pointer the pane frees.
constexpr LPARAM OWN_POST = 0x42656E63;

BenchLocalTime LocalNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

const int COMBO_IDS[4] = {IDC_BENCH_DRIVE, IDC_BENCH_TYPE, IDC_BENCH_SIZE, IDC_BENCH_LOOP};
const char* const CAPTION_KEYS[4] = {"SELECT_DISK", "TYPE", "TEST_RANGE", "LOOP"};
const char* const RESULT_KEYS[4] = {"SEQUENTIAL_READ", "SEQUENTIAL_WRITE", "RANDOM_READ",
                                    "RANDOM_WRITE"};

}  // namespace

// Runs on the worker thread: every call becomes a posted message; data goes
// as a heap copy that the pane frees when it reads the message (or here,
// when the post fails because the pane is gone).
class CBenchmarkDlg::CPaneCallback : public IBenchCallback {
 public:
  explicit CPaneCallback(HWND pane) : m_Pane(pane) {}
  void OnStatus(std::string text) override {
    if (text.empty()) {
      PostMessageW(m_Pane, WM_BENCH_STATUS, 0, OWN_POST);
    } else {
      PostOwned(WM_BENCH_STATUS, new std::string(std::move(text)));
    }
  }
  void OnResults(const CBenchResults&) override {
    PostMessageW(m_Pane, WM_BENCH_RESULT, 0, OWN_POST);
  }
  void OnStep(int lamps) override {
    PostMessageW(m_Pane, WM_BENCH_STEP, static_cast<WPARAM>(lamps), OWN_POST);
  }
  void OnError(const std::string&, std::string text) override {
    PostOwned(WM_BENCH_ERROR, new std::string(std::move(text)));
  }
  void OnHistory(const CBenchResults& results) override {
    PostOwned(WM_BENCH_HISTORY, new CBenchResults(results));
  }
  void OnDone() override { PostMessageW(m_Pane, WM_BENCH_DONE, 0, OWN_POST); }

 private:
  template <typename T>
  void PostOwned(UINT msg, T* data) {
    if (!PostMessageW(m_Pane, msg, reinterpret_cast<WPARAM>(data), OWN_POST)) delete data;
  }
  HWND m_Pane;
};

CBenchmarkDlg::CBenchmarkDlg(ui::TextFn text, Hooks hooks)
    : m_Hooks(std::move(hooks)),  // The Windows pane keeps the generator's exit-code contract.
      m_Host(std::make_unique<CSystemBenchHost>(m_Files, os::LoadGeneratorPath(),
                                                ELoadFigure::ExitCode)) {
  m_BackgroundColor = BACKGROUND;
  SetTextLookup(std::move(text));
}

CBenchmarkDlg::~CBenchmarkDlg() {
  if (m_Worker) m_Worker->RequestStop();
  if (m_Thread.joinable()) m_Thread.join();
  // Posts not read yet hold copies: free them before the window goes.
  MSG msg;
  while (m_Hwnd != nullptr &&
         PeekMessageW(&msg, m_Hwnd, WM_BENCH_RESULT, WM_BENCH_ERROR, PM_REMOVE)) {
    if (msg.lParam != OWN_POST) continue;
    if (msg.message == WM_BENCH_STATUS || msg.message == WM_BENCH_ERROR) {
      delete reinterpret_cast<std::string*>(msg.wParam);
    } else if (msg.message == WM_BENCH_HISTORY) {
      delete reinterpret_cast<CBenchResults*>(msg.wParam);
    }
  }
  Destroy();
}

bool CBenchmarkDlg::Create(HWND parent, double zoom, const std::wstring& face) {
  m_Zoom = zoom;
  m_FontFace = face;
  if (m_Hooks.Settings) m_Settings = m_Hooks.Settings();
  return CreateModeless(IDD_BENCHMARK, parent);
}

BOOL CBenchmarkDlg::OnInitDialog() {
  const DWORD comboStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
  for (size_t i = 0; i < 4; ++i) {
    CreateChild(WC_COMBOBOXW, COMBO_IDS[i], comboStyle);
    m_Combos[i].Attach(m_Hwnd, COMBO_IDS[i]);
    CreateChild(L"STATIC", IDC_BENCH_CAPTION_FIRST + static_cast<int>(i), SS_LEFT);
    m_Captions[i].Attach(m_Hwnd, IDC_BENCH_CAPTION_FIRST + static_cast<int>(i));
    CreateChild(L"STATIC", IDC_BENCH_RESULT_CAPTION_FIRST + static_cast<int>(i), SS_LEFT);
    m_ResultCaptions[i].Attach(m_Hwnd, IDC_BENCH_RESULT_CAPTION_FIRST + static_cast<int>(i));
    CreateChild(L"STATIC", IDC_BENCH_RESULT_FIRST + static_cast<int>(i), SS_RIGHT);
    m_ResultBoxes[i].Attach(m_Hwnd, IDC_BENCH_RESULT_FIRST + static_cast<int>(i));
  }
  const int buttonIds[5] = {IDC_BENCH_START, IDC_BENCH_STOP, IDC_BENCH_CLEAR, IDC_BENCH_SAVE,
                            IDC_BENCH_BACK};
  for (size_t i = 0; i < 5; ++i) {
    CreateChild(L"BUTTON", buttonIds[i], BS_PUSHBUTTON | WS_TABSTOP);
    m_Buttons[i].Attach(m_Hwnd, buttonIds[i]);
    m_Buttons[i].SetBackground(m_BackgroundColor);
  }
  CreateChild(L"STATIC", IDC_BENCH_STATUS, SS_LEFT);
  m_Status.Attach(m_Hwnd, IDC_BENCH_STATUS);
  for (size_t i = 0; i < m_Lamps.size(); ++i) {
    CreateChild(L"STATIC", IDC_BENCH_LAMP_FIRST + static_cast<int>(i), SS_LEFT);
    m_Lamps[i].Attach(m_Hwnd, IDC_BENCH_LAMP_FIRST + static_cast<int>(i));
  }
  for (size_t i = 0; i < m_HistoryHeads.size(); ++i) {
    CreateChild(L"STATIC", IDC_BENCH_HISTORY_HEAD_FIRST + static_cast<int>(i), SS_LEFT);
    m_HistoryHeads[i].Attach(m_Hwnd, IDC_BENCH_HISTORY_HEAD_FIRST + static_cast<int>(i));
  }
  for (size_t i = 0; i < m_HistoryCells.size(); ++i) {
    CreateChild(L"STATIC", IDC_BENCH_HISTORY_FIRST + static_cast<int>(i), SS_LEFT);
    m_HistoryCells[i].Attach(m_Hwnd, IDC_BENCH_HISTORY_FIRST + static_cast<int>(i));
  }
  for (ui::CStaticCx* s : {&m_Status}) s->SetBackground(m_BackgroundColor);
  for (auto* group : {&m_Captions, &m_ResultCaptions, &m_ResultBoxes}) {
    for (ui::CStaticCx& s : *group) s.SetBackground(m_BackgroundColor);
  }
  for (ui::CStaticCx& s : m_HistoryHeads) s.SetBackground(m_BackgroundColor);
  for (ui::CStaticCx& s : m_HistoryCells) s.SetBackground(m_BackgroundColor);

  // Fixed entries: the test types, the sizes and the loop counts.
  HWND type = GetDlgItem(m_Hwnd, IDC_BENCH_TYPE);
  for (const std::string& t : BenchTypeTexts()) {
    SendMessageW(type, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(os::Utf8ToWide(t).c_str()));
  }
  SendMessageW(type, CB_SETCURSEL, 0, 0);
  HWND size = GetDlgItem(m_Hwnd, IDC_BENCH_SIZE);
  for (const std::string& t : BenchSizeTexts()) {
    SendMessageW(size, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(os::Utf8ToWide(t).c_str()));
  }
  SendMessageW(size, CB_SETCURSEL, BENCH_DEFAULT_SIZE, 0);
  HWND loop = GetDlgItem(m_Hwnd, IDC_BENCH_LOOP);
  for (int i = 1; i <= BENCH_LOOP_CHOICES; ++i) {
    SendMessageW(loop, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_wstring(i).c_str()));
  }
  SendMessageW(loop, CB_SETCURSEL, BENCH_DEFAULT_LOOP, 0);
  FillDriveCombo();
  RelayoutDialog();
  ApplyLanguage();
  Clear();
  EnableControls(true);
  return TRUE;
}

void CBenchmarkDlg::RelayoutDialog() {
  // The pane sits over the main window's disk panel, as the other panes.
  PlaceOverPanel();
  SetBackgroundImage("computerBackground", IDP_BACKGROUND_COMPUTER);
  const int comboX[4] = {6, 346, 596, 716};
  const int comboW[4] = {330, 240, 110, 70};
  for (size_t i = 0; i < 4; ++i) {
    m_Captions[i].Place(comboX[i], 6, comboW[i], 22, m_Zoom);
    m_Captions[i].SetControlFont(m_FontFace, 15, m_Zoom, 400, TEXT_GREY);
    PlaceChild(COMBO_IDS[i], comboX[i], 30, comboW[i], 300);
    m_Combos[i].SetControlFont(m_FontFace, 16, m_Zoom);
  }
  const int buttonX[5] = {6, 166, 326, 486, 835};
  for (size_t i = 0; i < 5; ++i) {
    m_Buttons[i].Place(buttonX[i], i == 4 ? 22 : 74, 150, 40, m_Zoom);
    m_Buttons[i].SetControlFont(m_FontFace, 16, m_Zoom, 400, RGB(0, 0, 0));
    m_Buttons[i].SetTextAlign(1);
  }
  m_Status.Place(6, 124, 978, 26, m_Zoom);
  m_Status.SetControlFont(m_FontFace, 16, m_Zoom, 400, TEXT_GREY);
  for (size_t i = 0; i < m_Lamps.size(); ++i) {
    m_Lamps[i].Place(6 + static_cast<int>(i) * 54, 156, 48, 12, m_Zoom);
  }
  for (size_t i = 0; i < 4; ++i) {
    const int x = i % 2 == 0 ? 6 : 500;
    const int y = i < 2 ? 180 : 270;
    m_ResultCaptions[i].Place(x, y, 484, 24, m_Zoom);
    m_ResultCaptions[i].SetControlFont(m_FontFace, 16, m_Zoom, 400, TEXT_GREY);
    m_ResultBoxes[i].Place(x, y + 26, 484, 56, m_Zoom);
    m_ResultBoxes[i].SetControlFont(m_FontFace, 40, m_Zoom, 600, TEXT_GREY);
    m_ResultBoxes[i].SetTextAlign(2);
  }
  // The two history tables: drive, read, write.
  const int colX[3] = {0, 60, 272};
  const int colW[3] = {56, 208, 208};
  for (size_t table = 0; table < 2; ++table) {
    const int x = table == 0 ? 6 : 500;
    for (size_t c = 0; c < 3; ++c) {
      m_HistoryHeads[table * 3 + c].Place(x + colX[c], 370, colW[c], 22, m_Zoom);
      m_HistoryHeads[table * 3 + c].SetControlFont(m_FontFace, 14, m_Zoom, 600, TEXT_GREY);
      for (size_t r = 0; r < CBenchHistory::ROWS; ++r) {
        ui::CStaticCx& cell = m_HistoryCells[table * 9 + r * 3 + c];
        cell.Place(x + colX[c], 398 + static_cast<int>(r) * 28, colW[c], 24, m_Zoom);
        cell.SetControlFont(m_FontFace, 15, m_Zoom, 400, TEXT_GREY);
      }
    }
  }
}

void CBenchmarkDlg::ApplyLanguage() {
  auto text = [this](const char* key) { return Text("DiskPerformance", key); };
  SetWindowTextW(m_Hwnd, os::Utf8ToWide(Text("WindowTitle", "DISK_BENCHMARK")).c_str());
  for (size_t i = 0; i < 4; ++i) {
    m_Captions[i].SetText(text(CAPTION_KEYS[i]));
    m_ResultCaptions[i].SetText(text(RESULT_KEYS[i]));
  }
  m_Buttons[0].SetText(text("START"));
  m_Buttons[1].SetText(text("STOP"));
  m_Buttons[2].SetText(text("CLEAR"));
  m_Buttons[3].SetText(text("SAVE"));
  m_Buttons[4].SetText(Text("Dialog", "BACK"));
  if (m_ToolTip == nullptr) {
    m_ToolTip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                m_Hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  m_Buttons[0].SetToolTipText(m_ToolTip, text("START_TIPS"));
  m_Buttons[1].SetToolTipText(m_ToolTip, text("STOP_TIPS"));
  m_Buttons[2].SetToolTipText(m_ToolTip, text("CLEAR_TIPS"));
  m_Buttons[3].SetToolTipText(m_ToolTip, text("RESULT_TIPS"));
  const char* heads[6] = {"", "SEQUENTIAL_READ", "SEQUENTIAL_WRITE",
                          "", "RANDOM_READ",     "RANDOM_WRITE"};
  for (size_t i = 0; i < 6; ++i) m_HistoryHeads[i].SetText(*heads[i] ? text(heads[i]) : "");
}

void CBenchmarkDlg::Reload() {
  // While a run goes on its report keeps the counts it runs with.
  if (!IsRunning() && m_Hooks.Settings) m_Settings = m_Hooks.Settings();
  FillDriveCombo();
}

void CBenchmarkDlg::FillDriveCombo() {
  if (IsRunning()) return;  // the drive of a run stays as chosen
  HWND combo = GetDlgItem(m_Hwnd, IDC_BENCH_DRIVE);
  const std::string before = ComboText(IDC_BENCH_DRIVE);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  wchar_t roots[256] = {};
  const DWORD n = GetLogicalDriveStringsW(255, roots);
  int selected = 0, count = 0;
  for (const wchar_t* root = roots; n > 0 && n <= 255 && *root; root += wcslen(root) + 1) {
    const UINT type = GetDriveTypeW(root);
    if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED && type != DRIVE_REMOTE &&
        type != DRIVE_RAMDISK) {
      continue;
    }
    ULARGE_INTEGER total{}, totalFree{};
    if (!GetDiskFreeSpaceExW(root, nullptr, &total, &totalFree)) continue;
    const std::string entry =
        BenchDriveText(static_cast<char>(root[0]), total.QuadPart, totalFree.QuadPart);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(os::Utf8ToWide(entry).c_str()));
    if (!before.empty() && entry[0] == before[0]) selected = count;
    ++count;
  }
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

std::string CBenchmarkDlg::ComboText(int id) const {
  HWND combo = GetDlgItem(m_Hwnd, id);
  const LRESULT sel = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (sel == CB_ERR) return {};
  const LRESULT len = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(sel), 0);
  if (len == CB_ERR) return {};
  std::wstring text(static_cast<size_t>(len) + 1, L'\0');
  SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(sel),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(len));
  return os::WideToUtf8(text);
}

int CBenchmarkDlg::ComboIndex(int id) const {
  return static_cast<int>(SendMessageW(GetDlgItem(m_Hwnd, id), CB_GETCURSEL, 0, 0));
}

void CBenchmarkDlg::Start() {
  SetLamps(0);
  if (IsRunning()) {
    Stop();
    return;
  }
  const std::string drive = ComboText(IDC_BENCH_DRIVE);
  const int type = ComboIndex(IDC_BENCH_TYPE);
  const uint32_t size = BenchSizeMiB(ComboIndex(IDC_BENCH_SIZE));
  const int loops = ComboIndex(IDC_BENCH_LOOP) + 1;
  if (drive.size() < 2 || drive[1] != ':' || type < 0 || size == 0 || loops < 1) return;
  m_Status.SetText(Text("Message", "PROCESS_PREPARE"));
  CBenchRequest request;
  request.TestType = type;
  request.TestSizeMiB = size;
  request.LoopCount = loops;
  request.Root = drive.substr(0, 2) + "\\";
  request.Separator = '\\';
  request.Settings = m_Settings;
  m_RunType = type;
  m_RunLetter = drive[0];
  for (int slot : BenchSlotsOfType(type)) m_Results[static_cast<size_t>(slot)] = 0;
  ShowResults();
  m_Callback = std::make_unique<CPaneCallback>(m_Hwnd);
  // The worker's texts, looked up here: the language may change while it
  // runs, and the lookup is not for other threads.
  std::map<std::string, std::string> texts;
  for (const char* key :
       {"SEQUENTIAL_READ", "SEQUENTIAL_WRITE", "RANDOM_READ", "RANDOM_WRITE", "PAUSE", "SECOND",
        "PROCESS_PREPARE", "PROCESS_STOP", "DISK_SPD_NOT_FOUND", "DISK_CAPACITY_ERROR",
        "DISK_CREATE_FILE_ERROR", "DISK_WRITE_FILE_ERROR", "UNABLE_TO_LOCATE_MEMORY"}) {
    std::string t = Text("Message", key);
    if (t.empty()) t = Text("DiskPerformance", key);
    texts[key] = t.empty() ? EnglishBenchText(key) : t;
  }
  m_Worker = std::make_unique<CBenchmarkWorker>(
      *m_Host, *m_Callback, [texts = std::move(texts)](const std::string& k) {
        auto it = texts.find(k);
        return it != texts.end() ? it->second : EnglishBenchText(k);
      });
  try {
    m_Thread = std::thread([worker = m_Worker.get(), request] { worker->Run(request); });
  } catch (const std::system_error&) {
    m_Worker.reset();
    m_Status.SetText("");
    return;
  }
  EnableControls(false);
  if (m_Hooks.Running) m_Hooks.Running(true);
}

void CBenchmarkDlg::Stop() {
  SetLamps(0);
  if (!IsRunning() || !m_Worker) return;
  m_Worker->RequestStop();
  m_Status.SetText(Text("Message", "PROCESS_STOP"));
}

// The worker has cleaned up and said so: it is ending now.
void CBenchmarkDlg::Finished() {
  if (m_Thread.joinable()) m_Thread.join();
  TakeResults();
  m_Worker.reset();
  m_Callback.reset();
  ShowResults();
  EnableControls(true);
  if (m_Hooks.Running) m_Hooks.Running(false);
}

void CBenchmarkDlg::EnableControls(bool idle) {
  for (int id : COMBO_IDS) EnableWindow(GetDlgItem(m_Hwnd, id), idle);
  for (int id : {IDC_BENCH_START, IDC_BENCH_SAVE, IDC_BENCH_CLEAR}) {
    EnableWindow(GetDlgItem(m_Hwnd, id), idle);
  }
  EnableWindow(GetDlgItem(m_Hwnd, IDC_BENCH_STOP), !idle);
}

void CBenchmarkDlg::Clear() {
  m_Results = {};
  m_History.Clear();
  ShowResults();
  ShowHistory();
  SetLamps(0);
}

void CBenchmarkDlg::TakeResults() {
  if (!m_Worker) return;
  // Only the run's own tests: the others keep what earlier runs measured.
  const CBenchResults now = m_Worker->Results();
  for (int slot : BenchSlotsOfType(m_RunType)) {
    m_Results[static_cast<size_t>(slot)] = now[static_cast<size_t>(slot)];
  }
}

void CBenchmarkDlg::ShowResults() {
  TakeResults();
  const std::array<int, 4> slots = BenchBoxSlots(m_RunType);
  for (size_t i = 0; i < 4; ++i) {
    const double v = slots[i] >= 0 ? m_Results[static_cast<size_t>(slots[i])] : 0;
    m_ResultBoxes[i].SetText(FormatRate(v));
  }
}

void CBenchmarkDlg::ShowHistory() {
  const CBenchHistory::Table* tables[2] = {&m_History.Sequential(), &m_History.Random()};
  for (size_t t = 0; t < 2; ++t) {
    for (size_t r = 0; r < CBenchHistory::ROWS; ++r) {
      const BenchHistoryRow& row = (*tables[t])[r];
      const std::string cells[3] = {row.Drive, row.Read, row.Write};
      for (size_t c = 0; c < 3; ++c) {
        ui::CStaticCx& cell = m_HistoryCells[t * 9 + r * 3 + c];
        cell.SetText(cells[c]);
        ShowWindow(cell.Hwnd(), row.Visible ? SW_SHOW : SW_HIDE);
      }
    }
  }
}

void CBenchmarkDlg::SetLamps(int lit) {
  for (size_t i = 0; i < m_Lamps.size(); ++i) {
    m_Lamps[i].SetBackground(static_cast<int>(i) < lit ? LAMP_ON : LAMP_OFF);
    m_Lamps[i].Repaint();
  }
}

void CBenchmarkDlg::SaveReport() {
  BenchReportInput in;
  in.Os = m_Hooks.OsName ? m_Hooks.OsName() : std::string();
  const BenchLocalTime now = LocalNow();
  in.Date = BenchReportDate(now);
  in.TestSize = ComboText(IDC_BENCH_SIZE);
  in.TestCount = ComboText(IDC_BENCH_LOOP);
  in.TestDrive = ComboText(IDC_BENCH_DRIVE);
  in.Settings = m_Settings;
  in.Results = m_Results;
  const std::vector<uint8_t> bytes = BenchReportFileBytes(BenchReportText(in));

  wchar_t file[MAX_PATH * 2] = {};
  const std::wstring name = os::Utf8ToWide(BenchReportFileName(now));
  wcsncpy(file, name.c_str(), std::size(file) - 1);
  wchar_t desktop[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = m_Hwnd;
  ofn.lpstrFilter = L"*.txt\0*.txt\0\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = static_cast<DWORD>(std::size(file));
  ofn.lpstrInitialDir = desktop[0] ? desktop : nullptr;
  ofn.lpstrDefExt = L"txt";
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&ofn)) return;
  // Written beside the target and renamed over it, so a crash never leaves
  // half a report under the chosen name.
  const std::filesystem::path target(file);
  std::filesystem::path temp = target;
  temp += L".tmp";
  bool ok = false;
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ok = static_cast<bool>(out.flush());
  }
  if (ok) {
    ok = MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (!ok) {
    DeleteFileW(temp.c_str());
    MessageBoxW(m_Hwnd, (L"The report could not be written: " + target.wstring()).c_str(), nullptr,
                MB_OK | MB_ICONERROR);
  }
}

void CBenchmarkDlg::OnCommand(int id, int /*code*/, HWND /*control*/) {
  switch (id) {
    case IDC_BENCH_START:
      Start();
      break;
    case IDC_BENCH_STOP:
      Stop();
      break;
    case IDC_BENCH_CLEAR:
      if (!IsRunning()) Clear();
      break;
    case IDC_BENCH_SAVE:
      if (!IsRunning()) SaveReport();
      break;
    case IDC_BENCH_BACK:
      if (m_Hooks.Back) m_Hooks.Back();
      break;
    default:
      break;
  }
}

void CBenchmarkDlg::OnCancel() {
  if (m_Hooks.Back) m_Hooks.Back();
}

bool CBenchmarkDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) {
  if (msg < WM_BENCH_RESULT || msg > WM_BENCH_ERROR) return false;
  // Dialog messages share these numbers; only the worker's posts are ours.
  if (lp != OWN_POST) return false;
  *result = TRUE;
  switch (msg) {
    case WM_BENCH_RESULT:
      ShowResults();
      break;
    case WM_BENCH_STATUS: {
      std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(wp));
      // "Stopping..." stays until the run has ended.
      if (m_Worker && !m_Worker->Running() && text) break;
      m_Status.SetText(text ? *text : std::string());
      break;
    }
    case WM_BENCH_DONE:
      Finished();
      break;
    case WM_BENCH_STEP:
      SetLamps(static_cast<int>(wp));
      break;
    case WM_BENCH_HISTORY: {
      std::unique_ptr<CBenchResults> results(reinterpret_cast<CBenchResults*>(wp));
      if (results) m_History.Push(m_RunType, m_RunLetter, *results);
      ShowHistory();
      break;
    }
    case WM_BENCH_ERROR: {
      std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(wp));
      if (text) {
        MessageBoxW(m_Hwnd, os::Utf8ToWide(*text).c_str(), nullptr, MB_OK | MB_ICONERROR);
      }
      break;
    }
    default:
      break;
  }
  return true;
}

}  // namespace tools
