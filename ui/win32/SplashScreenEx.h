// CSplashScreenEx: the window shown while the main window initialises. A
// pop-up, topmost tool window shaped by its bitmap (magenta pixels are left
// out of the window) with one line of text that the owner changes as
// start-up proceeds.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

class CSplashScreenEx {
 public:
  // Style bits.
  static constexpr int FADE_IN = 1;
  static constexpr int FADE_OUT = 2;
  static constexpr int SHADOW = 4;
  static constexpr int CENTER_SCREEN = 8;
  static constexpr int CENTER_OWNER = 0x10;
  static constexpr int HIDE_ON_INPUT = 0x20;

  CSplashScreenEx() = default;
  ~CSplashScreenEx();
  CSplashScreenEx(const CSplashScreenEx&) = delete;
  CSplashScreenEx& operator=(const CSplashScreenEx&) = delete;

  bool Create(HWND owner, int style = FADE_IN | FADE_OUT | SHADOW | CENTER_SCREEN);
  // The PNG resource `resourceId` becomes the window's picture and shape.
  bool SetBitmap(int resourceId);
  void SetTextFont(const std::wstring& face, int points);
  void SetTextRect(const RECT& rect) { m_TextRect = rect; }
  void SetTextColor(COLORREF color) { m_TextColor = color; }
  void SetText(const std::string& utf8);
  void Show();
  void Hide();
  HWND Hwnd() const { return m_Hwnd; }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void Paint(HDC dc);

  HWND m_Hwnd = nullptr;
  HWND m_Owner = nullptr;
  int m_Style = 0;
  HBITMAP m_Bitmap = nullptr;
  int m_Width = 0;
  int m_Height = 0;
  HFONT m_Font = nullptr;
  std::wstring m_Text;
  RECT m_TextRect{};
  COLORREF m_TextColor = RGB(128, 128, 128);
};

}  // namespace ui
