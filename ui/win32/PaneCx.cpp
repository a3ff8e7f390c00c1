#include "ui/win32/PaneCx.h"

#include "ui/win32/Gdiplus.h"

namespace ui {

CPaneCx::CPaneCx(int templateId, std::function<void()> back)
    : m_TemplateId(templateId), m_Back(std::move(back)) {
  m_BackgroundColor = RGB(244, 245, 247);
}

bool CPaneCx::Create(HWND parent, double zoom, const std::wstring& face) {
  m_Zoom = zoom;
  m_FontFace = face;
  return CreateModeless(m_TemplateId, parent);
}

void CPaneCx::CreateBackButton(int id) {
  m_BackId = id;
  CreateSkinButton(m_BackButton, id, m_BackgroundColor);
}

void CPaneCx::CreateLabel(CStaticCx& label, int id) {
  CreateSkinLabel(label, id, m_BackgroundColor);
}

void CPaneCx::PlacePane() {
  PlaceOverPanel();
  m_BackButton.Place(835, 22, 150, 40, m_Zoom);
  m_BackButton.SetControlFont(m_FontFace, 16, m_Zoom, 400, RGB(0, 0, 0));
  m_BackButton.SetTextAlign(1);
}

void CPaneCx::OnCommand(int id, int code, HWND control) {
  if (id == m_BackId && m_BackId != 0) {
    if (m_Back) m_Back();
    return;
  }
  OnPaneCommand(id, code, control);
}

void CPaneCx::OnCancel() {
  if (m_Back) m_Back();
}

}  // namespace ui
