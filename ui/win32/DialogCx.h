// CDialogCx: the base of every skinned window of the program. A dialog from
// a template of the executable, run modally (the main window) or as a
// modeless child pane. It carries the zoom, the monitor DPI, the high
// contrast state, the font face, the text lookup and the background colour,
// and routes messages to virtual handlers.
//
// Lifetime: the object owns its window. A pane never deletes itself; the
// window that created it owns the object and destroys it, so nobody keeps a
// pointer to a pane that is gone.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ui/SkinMath.h"

namespace Gdiplus {
class Bitmap;
}

namespace ui {

class CButtonCx;
class CStaticCx;

// Looks up a text by (section, key) in the current language.
using TextFn = std::function<std::string(const std::string& section, const std::string& key)>;

class CDialogCx {
 public:
  CDialogCx();
  virtual ~CDialogCx();
  CDialogCx(const CDialogCx&) = delete;
  CDialogCx& operator=(const CDialogCx&) = delete;

  // Runs the dialog of template `templateId` until EndModal; returns its
  // result (-1 when it could not be created). The loop translates the
  // keys of m_Accelerators first.
  INT_PTR DoModal(int templateId, HWND owner);
  void EndModal(INT_PTR result);
  // Creates it as a modeless child of `parent`. False on failure.
  bool CreateModeless(int templateId, HWND parent);
  void Destroy();

  HWND Hwnd() const { return m_Hwnd; }
  double Zoom() const { return m_Zoom; }
  int Dpi() const { return m_Dpi; }

  // The zoom of the window: "ZoomType" 0 follows the DPI, any other value is
  // the percent. Returns the percent.
  int32_t ApplyZoomChoice(int32_t choice);

  void SetTextLookup(TextFn text) { m_Text = std::move(text); }
  std::string Text(const std::string& section, const std::string& key) const;
  void SetFontFace(const std::wstring& face) { m_FontFace = face; }
  const std::wstring& FontFace() const { return m_FontFace; }

  // Client area of (w, h) base units at the current zoom.
  void SetClientSize(int width, int height);
  // Moves child `id` to base coordinates at the current zoom.
  void PlaceChild(int id, int x, int y, int w, int h);
  // Creates a child control of window class `className`.
  HWND CreateChild(const wchar_t* className, int id, DWORD style, DWORD exStyle = 0);
  // Creates child `id` as a skinned push button or label over `background`
  // and attaches `control` to it.
  void CreateSkinButton(CButtonCx& control, int id, COLORREF background);
  void CreateSkinLabel(CStaticCx& control, int id, COLORREF background,
                       DWORD style = SS_LEFT | SS_NOTIFY);

  // The skin image of `key` in the skin folder ("key.png"), or an empty
  // path when there is none.
  std::wstring FindSkinImage(const std::string& key) const;
  void SetSkinFolder(const std::wstring& folder) { m_SkinFolder = folder; }

  // The background picture: the skin's image of `key`, else the built-in
  // PNG `resourceId`, drawn scaled over the whole client area (and under
  // every skinned control of the dialog's own colour). Without either the
  // dialog keeps its plain colour.
  void SetBackgroundImage(const std::string& key, int resourceId);

  // Lays out every control at the current zoom.
  virtual void RelayoutDialog() {}

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  // Places a pane of the main window over its disk panel, at the zoom.
  void PlaceOverPanel();
  virtual void OnCommand(int /*id*/, int /*code*/, HWND /*control*/) {}
  virtual void OnCancel() {}
  virtual void OnOK() {}
  // Any other message; return true when handled (then `*result` is the
  // dialog procedure's result).
  virtual bool OnMessage(UINT /*msg*/, WPARAM /*wp*/, LPARAM /*lp*/, INT_PTR* /*result*/) {
    return false;
  }

  HWND m_Hwnd = nullptr;
  double m_Zoom = 1.0;
  int m_Dpi = 96;
  int32_t m_ZoomChoice = 0;
  bool m_HighContrast = false;
  bool m_LowColor = false;
  std::wstring m_FontFace = L"Tahoma";
  std::wstring m_SkinFolder;
  COLORREF m_BackgroundColor = RGB(255, 255, 255);
  HBRUSH m_BackgroundBrush = nullptr;
  HWND m_ToolTip = nullptr;
  HACCEL m_Accelerators = nullptr;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  INT_PTR Handle(UINT msg, WPARAM wp, LPARAM lp);
  void ReadDisplayState();
  // The picture scaled to the client area, and the brush of it.
  void RenderBackground();
  bool PaintUnder(HWND control, HDC dc) const;
  bool ChildOrigin(HWND control, POINT* origin) const;

  TextFn m_Text;
  std::string m_BackgroundKey;
  int m_BackgroundResource = 0;
  std::unique_ptr<Gdiplus::Bitmap> m_BackgroundImage;
  HBITMAP m_BackgroundBitmap = nullptr;
  SIZE m_BackgroundSize{};
  bool m_Modal = false;
  bool m_Ended = false;
  INT_PTR m_Result = 0;
};

}  // namespace ui
