// CBenchmarkDlg: the disk benchmark pane, a child of the main window. The
// user picks a drive, a test type, a test size and a loop count; a worker
// thread runs CBenchmarkWorker against a test file on that drive and
// reports through callbacks, which post window messages to the pane. A
// message that carries data carries a copy the pane owns and frees; the
// pane only draws what it receives. Results and the history of the last
// three runs stay while the pane is hidden.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "os/win32/Win32FileSystem.h"
#include "tools/BenchmarkPane.h"
#include "tools/DiskBenchmark.h"
#include "ui/win32/DialogCx.h"
#include "ui/win32/ListCtrlEx.h"
#include "ui/win32/SkinControl.h"

namespace tools {

// Messages from the worker to the pane.
constexpr UINT WM_BENCH_RESULT = WM_USER + 1;   // show the results again
constexpr UINT WM_BENCH_STATUS = WM_USER + 2;   // wParam: std::string* the pane frees, or 0
constexpr UINT WM_BENCH_DONE = WM_USER + 3;     // enable the controls again
constexpr UINT WM_BENCH_STEP = WM_USER + 4;     // wParam: lamps lit, 0-6
constexpr UINT WM_BENCH_HISTORY = WM_USER + 5;  // wParam: CBenchResults* the pane frees
constexpr UINT WM_BENCH_ERROR = WM_USER + 6;    // wParam: std::string* the pane frees

class CBenchmarkDlg : public ui::CDialogCx {
 public:
  struct Hooks {
    std::function<CBenchSettings()> Settings;  // read when the pane is made and shown
    std::function<std::string()> OsName;       // for the report
    std::function<void(bool)> Running;         // the run started / ended
    std::function<void()> Back;                // leave the pane
  };
  CBenchmarkDlg(ui::TextFn text, Hooks hooks);
  // Stops a run and waits for its worker.
  ~CBenchmarkDlg() override;

  bool Create(HWND parent, double zoom, const std::wstring& face);
  bool IsRunning() const { return m_Thread.joinable(); }
  void ApplyLanguage();
  // Shown again: the drives and the queue and thread counts anew (the
  // settings file may have changed meanwhile), unless a run goes on.
  void Reload();
  void FillDriveCombo();

  void RelayoutDialog() override;
  // Lays the pane out again at another zoom, keeping its run and results.
  void SetZoom(double zoom) {
    m_Zoom = zoom;
    RelayoutDialog();
  }

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;
  void OnCancel() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

 private:
  class CPaneCallback;
  void Start();
  void Stop();
  void Clear();
  void SaveReport();
  void Finished();
  void EnableControls(bool idle);
  void TakeResults();
  void ShowResults();
  void ShowHistory();
  void SetLamps(int lit);
  std::string ComboText(int id) const;
  int ComboIndex(int id) const;

  Hooks m_Hooks;
  CBenchSettings m_Settings;
  CBenchResults m_Results{};
  CBenchHistory m_History;
  int m_RunType = 0;
  char m_RunLetter = 'C';
  os::CWin32FileSystem m_Files;
  std::unique_ptr<IBenchHost> m_Host;
  std::unique_ptr<CPaneCallback> m_Callback;
  std::unique_ptr<CBenchmarkWorker> m_Worker;
  std::thread m_Thread;

  std::array<ui::CComboBoxCx, 4> m_Combos;
  std::array<ui::CStaticCx, 4> m_Captions;
  std::array<ui::CButtonCx, 5> m_Buttons;  // start, stop, clear, save, back
  ui::CStaticCx m_Status;
  std::array<ui::CStaticCx, 4> m_ResultCaptions;
  std::array<ui::CStaticCx, 4> m_ResultBoxes;
  std::array<ui::CStaticCx, 6> m_Lamps;
  std::array<ui::CStaticCx, 6> m_HistoryHeads;
  std::array<ui::CStaticCx, 18> m_HistoryCells;  // [table][row][drive, read, write]
};

}  // namespace tools
