// CPaneCx: a pane of the main window. A modeless child dialog laid over the
// disk panel, with a back button; the button and Escape call `back`, which
// the main window answers by showing the panel again.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/win32/DialogCx.h"
#include "ui/win32/SkinControl.h"

namespace ui {

class CPaneCx : public CDialogCx {
 public:
  // `back` must outlive the pane.
  CPaneCx(int templateId, std::function<void()> back);

  // Creates the pane in `parent` at `zoom` with the font `face`.
  bool Create(HWND parent, double zoom, const std::wstring& face);
  // Texts again in the current language.
  virtual void ApplyLanguage() {}

 protected:
  // The back button of id `id`, made in OnInitDialog.
  void CreateBackButton(int id);
  // A skinned label of id `id` on the pane's colour (it reports clicks).
  void CreateLabel(CStaticCx& label, int id);
  // Places the pane over the panel and the back button at its corner.
  void PlacePane();
  // Commands other than the back button's.
  virtual void OnPaneCommand(int /*id*/, int /*code*/, HWND /*control*/) {}

  CButtonCx m_BackButton;

 private:
  void OnCommand(int id, int code, HWND control) final;
  void OnCancel() final;

  int m_TemplateId;
  int m_BackId = 0;
  std::function<void()> m_Back;
};

}  // namespace ui
