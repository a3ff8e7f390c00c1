// CSkinControl: what CButtonCx and CStaticCx share. A standard control
// (button or static) that paints itself: an optional PNG image strip (one
// frame per state) over the dialog's background colour, and its window text
// in its own font, colour and alignment. The text stays the window text, so
// screen readers, automation and tests read it as from any control.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/ImageSource.h"
#include "ui/SkinMath.h"

namespace Gdiplus {
class Bitmap;
}

namespace ui {

class CSkinControl {
 public:
  CSkinControl() = default;
  virtual ~CSkinControl();
  CSkinControl(const CSkinControl&) = delete;
  CSkinControl& operator=(const CSkinControl&) = delete;

  // Takes over control `id` of `dialog` (created from a template or by the
  // dialog). False when there is no such control.
  bool Attach(HWND dialog, int id);
  HWND Hwnd() const { return m_Hwnd; }
  int Id() const { return m_Id; }

  // Moves the control to (x, y) of size (w, h) in base units at `zoom`.
  void Place(int x, int y, int w, int h, double zoom);
  // Text font: `size` points-like height in base units at `zoom`, weight
  // 400/700; colour of the text; alignment 0 left, 1 centre, 2 right.
  void SetControlFont(const std::wstring& face, int size, double zoom, int weight, COLORREF color);
  void SetTextAlign(int align);
  void SetBackground(COLORREF color);
  void SetText(const std::string& utf8);
  std::string Text() const;

  // Loads an image strip from a PNG file. Returns whether the image is
  // loaded and fits the control (width equal, frame height equal); when it
  // does not, the control draws without an image. The same path again
  // returns the state of the image already held.
  bool SetImageFile(const std::wstring& path, int frameCount);
  // The same from a PNG resource of the executable.
  bool SetImageResource(int resourceId, int frameCount);
  bool HasImage() const { return m_Source.Loaded(); }
  // Images of any size are drawn scaled to the control (gauges, rendered
  // larger than at zoom 1 so that they stay sharp at every zoom).
  void SetImageScaled(bool scaled) { m_Scaled = scaled; }

  void SetToolTipText(HWND tooltip, const std::string& utf8);

  void SetSelected(bool selected);
  void Repaint();

 protected:
  virtual ControlState State() const;
  virtual LRESULT Proc(UINT msg, WPARAM wp, LPARAM lp);
  void Paint(HDC dc);

  HWND m_Hwnd = nullptr;
  int m_Id = 0;
  bool m_Hover = false;
  bool m_Tracking = false;
  bool m_Selected = false;
  int m_Width = 0;
  int m_Height = 0;

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                       DWORD_PTR self);
  bool TakeImage(std::unique_ptr<Gdiplus::Bitmap> image, int frameCount);
  bool Fits() const;

  HFONT m_Font = nullptr;
  HFONT m_FitFont = nullptr;
  std::wstring m_Face;
  int m_FontHeight = 0;
  int m_FontWeight = 400;
  COLORREF m_TextColor = RGB(0, 0, 0);
  COLORREF m_Background = RGB(255, 255, 255);
  int m_Align = 0;
  bool m_Scaled = false;
  int m_ResourceId = 0;
  std::unique_ptr<Gdiplus::Bitmap> m_Image;
  CImageSource m_Source;
  std::string m_ToolTip;
};

// A skinned control asks its dialog for the picture under it before it
// paints: SendMessage(dialog, SkinBackgroundMessage(), 0, &request). The
// dialog returns TRUE when it drew its background picture into `Dc` (at the
// control's place); a control whose colour is not the dialog's keeps its
// own colour.
struct SkinBackgroundRequest {
  HWND Control = nullptr;
  HDC Dc = nullptr;
  COLORREF Color = 0;
};
UINT SkinBackgroundMessage();

// A push button drawn by the skin: frames 0 normal, 1 hover or pressed,
// 3 selected (strips of four).
class CButtonCx : public CSkinControl {
 protected:
  ControlState State() const override;
};

// A text or image label.
class CStaticCx : public CSkinControl {};

// Starts GDI+ for the life of the object.
class CGdiplusSession {
 public:
  CGdiplusSession();
  ~CGdiplusSession();
  CGdiplusSession(const CGdiplusSession&) = delete;
  CGdiplusSession& operator=(const CGdiplusSession&) = delete;

 private:
  ULONG_PTR m_Token = 0;
};

// A PNG resource of the executable decoded; null when missing or undecodable.
std::unique_ptr<Gdiplus::Bitmap> LoadPngResource(int resourceId);
// A PNG file decoded; null when missing or undecodable.
std::unique_ptr<Gdiplus::Bitmap> LoadPngFile(const std::wstring& path);
// Saves a bitmap as a PNG file.
bool SaveBitmapPng(HBITMAP bitmap, const std::wstring& path);

}  // namespace ui
