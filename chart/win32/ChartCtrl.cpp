#include "chart/win32/ChartCtrl.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace chart {
namespace {

constexpr wchar_t CLASS_NAME[] = L"StavrionChart";
constexpr COLORREF BACKGROUND = RGB(255, 255, 255);
constexpr COLORREF BORDER = RGB(128, 128, 128);
// Pixels between labels of an axis, at zoom 1.
constexpr int LABEL_GAP = 16;
// How near the mouse must come to a point to show it, at zoom 1.
constexpr int HOVER_RADIUS = 12;

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

struct Extent {
  int cx = 0, cy = 0;
};

Extent TextSize(HDC dc, const std::wstring& text) {
  SIZE size{0, 0};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return {static_cast<int>(size.cx), static_cast<int>(size.cy)};
}

void Text(HDC dc, int x, int y, const std::wstring& text, COLORREF color) {
  SetTextColor(dc, color);
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

void Line(HDC dc, int x0, int y0, int x1, int y1) {
  MoveToEx(dc, x0, y0, nullptr);
  LineTo(dc, x1, y1);
}

// A pen selected for the life of the object.
class CPen {
 public:
  CPen(HDC dc, int style, int width, COLORREF color)
      : m_Dc(dc), m_Pen(CreatePen(style, width, color)), m_Old(SelectObject(dc, m_Pen)) {}
  ~CPen() {
    SelectObject(m_Dc, m_Old);
    DeleteObject(m_Pen);
  }
  CPen(const CPen&) = delete;
  CPen& operator=(const CPen&) = delete;

 private:
  HDC m_Dc;
  HPEN m_Pen;
  HGDIOBJ m_Old;
};

std::vector<Tick> TicksOf(const AxisSpec& axis, int pixels, int labelSize) {
  const size_t room = static_cast<size_t>(std::max(2, pixels / std::max(1, labelSize)));
  if (axis.DateTime) {
    const auto from = static_cast<int64_t>(std::floor(axis.Min));
    const auto to = static_cast<int64_t>(std::ceil(axis.Max));
    const DateStep step = axis.DateStep ? *axis.DateStep : AutoDateStep(from, to, room);
    return DateTicks(from, to, step, axis.DateFormat, room);
  }
  return ValueTicks({axis.Min, axis.Max}, axis.FixedStep, room);
}

}  // namespace

CChartCtrl::~CChartCtrl() {
  if (m_Hwnd != nullptr) DestroyWindow(m_Hwnd);
  DeleteFonts();
}

bool CChartCtrl::Create(HWND parent, int id) {
  static bool registered = false;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!registered) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = CLASS_NAME;
    registered = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    if (!registered) return false;
  }
  m_Hwnd = CreateWindowExW(0, CLASS_NAME, L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this);
  return m_Hwnd != nullptr;
}

LRESULT CALLBACK CChartCtrl::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<CChartCtrl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr || self->m_Hwnd == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    self->m_Hwnd = nullptr;
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  return self->Handle(msg, wp, lp);
}

LRESULT CChartCtrl::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(m_Hwnd, &ps);
      RECT client;
      GetClientRect(m_Hwnd, &client);
      // Drawn off screen, then copied: no flicker on redraw.
      HDC memory = CreateCompatibleDC(dc);
      HBITMAP bitmap =
          CreateCompatibleBitmap(dc, std::max(1L, client.right), std::max(1L, client.bottom));
      HGDIOBJ old = SelectObject(memory, bitmap);
      Paint(memory, client);
      BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteObject(bitmap);
      DeleteDC(memory);
      EndPaint(m_Hwnd, &ps);
      return 0;
    }
    case WM_MOUSEMOVE: {
      if (!m_Tracking) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, m_Hwnd, 0};
        m_Tracking = TrackMouseEvent(&track) != FALSE;
      }
      const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
      std::optional<std::pair<size_t, size_t>> hover;
      if (HitTest(m_Layout, x, y) == ChartPart::Plot) {
        int64_t best = -1;
        for (size_t s = 0; s < m_Pixels.size(); ++s) {
          const std::optional<size_t> p = NearestPoint(m_Pixels[s], x, y, Scaled(HOVER_RADIUS));
          if (!p) continue;
          const int64_t dx = m_Pixels[s][*p].X - x, dy = m_Pixels[s][*p].Y - y;
          if (best < 0 || dx * dx + dy * dy < best) {
            best = dx * dx + dy * dy;
            hover = std::make_pair(s, *p);
          }
        }
      }
      if (hover != m_Hover) {
        m_Hover = hover;
        InvalidateRect(m_Hwnd, nullptr, FALSE);
      }
      return 0;
    }
    case WM_MOUSELEAVE:
      m_Tracking = false;
      if (m_Hover) {
        m_Hover.reset();
        InvalidateRect(m_Hwnd, nullptr, FALSE);
      }
      return 0;
    default:
      return DefWindowProcW(m_Hwnd, msg, wp, lp);
  }
}

int CChartCtrl::Scaled(int v) const { return static_cast<int>(std::lround(v * m_Zoom)); }

void CChartCtrl::DeleteFonts() {
  for (HFONT* f : {&m_TitleFont, &m_LabelFont, &m_TurnedFont}) {
    if (*f != nullptr) DeleteObject(*f);
    *f = nullptr;
  }
}

void CChartCtrl::SetFonts(const std::wstring& face, double zoom) {
  m_Face = face;
  m_Zoom = zoom > 0 ? zoom : 1.0;
  DeleteFonts();
  auto font = [&](int height, int weight, int escapement) {
    return CreateFontW(-Scaled(height), 0, escapement, escapement, weight, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH, m_Face.c_str());
  };
  m_TitleFont = font(16, FW_BOLD, 0);
  m_LabelFont = font(12, FW_NORMAL, 0);
  m_TurnedFont = font(12, FW_NORMAL, 900);
}

void CChartCtrl::RemoveAll() {
  for (AxisSpec& a : m_Axes) a = AxisSpec{};
  m_Series.clear();
  m_Balloon.reset();
  m_Legend = false;
  m_Title.clear();
  m_EmptyText.clear();
  m_Pixels.clear();
  m_Hover.reset();
}

size_t CChartCtrl::AddSeries(SeriesSpec series) {
  m_Series.push_back(std::move(series));
  return m_Series.size() - 1;
}

void CChartCtrl::SetBalloon(size_t series, size_t point, const std::wstring& text) {
  if (series >= m_Series.size() || point >= m_Series[series].Points.size()) return;
  m_Balloon = Balloon{series, point, text};
}

void CChartCtrl::SetLegend(bool visible, POINT topLeft) {
  m_Legend = visible;
  m_LegendAt = topLeft;
}

void CChartCtrl::SetTitle(const std::wstring& text, COLORREF color) {
  m_Title = text;
  m_TitleColor = color;
}

void CChartCtrl::SetSummary(const std::wstring& text) {
  if (m_Hwnd != nullptr) SetWindowTextW(m_Hwnd, text.c_str());
}

void CChartCtrl::Redraw() {
  if (m_Hwnd != nullptr) InvalidateRect(m_Hwnd, nullptr, FALSE);
}

void CChartCtrl::Paint(HDC dc, const RECT& client) {
  if (m_LabelFont == nullptr) SetFonts(m_Face, m_Zoom);
  HBRUSH background = CreateSolidBrush(BACKGROUND);
  FillRect(dc, &client, background);
  DeleteObject(background);
  RECT edge = client;
  DrawEdge(dc, &edge, EDGE_BUMP, BF_RECT);
  {
    CPen border(dc, PS_SOLID, 1, BORDER);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, 2, 2, client.right - 2, client.bottom - 2);
    SelectObject(dc, oldBrush);
  }
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, m_LabelFont);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  const int labelHeight = metrics.tmHeight;

  const AxisSpec& left = m_Axes[static_cast<size_t>(AxisSide::Left)];
  const AxisSpec& xAxis = m_Axes[static_cast<size_t>(m_XAxis)];
  const bool xOnTop = m_XAxis == AxisSide::Top;

  // Sizes first: the widest label of the left axis decides the plot's left.
  const int plotHeightGuess = client.bottom - 4 * labelHeight;
  std::vector<Tick> leftTicks;
  int leftWidth = 0;
  if (left.Visible) {
    leftTicks = TicksOf(left, plotHeightGuess, 2 * labelHeight);
    for (const Tick& t : leftTicks)
      leftWidth = std::max<int>(leftWidth, TextSize(dc, Wide(t.Label)).cx);
  }
  ChartLayoutInput in;
  in.Width = client.right;
  in.Height = client.bottom;
  in.Padding = Scaled(10);
  if (!m_Title.empty()) {
    SelectObject(dc, m_TitleFont);
    in.TitleHeight = TextSize(dc, m_Title).cy;
    SelectObject(dc, m_LabelFont);
  }
  if (xAxis.Visible && xAxis.Labels) {
    (xOnTop ? in.TopLabelHeight : in.BottomLabelHeight) = labelHeight;
  }
  in.LeftLabelWidth = left.Visible && left.Labels ? leftWidth : 0;
  in.LeftTitleWidth = left.Visible && !left.Title.empty() ? labelHeight : 0;

  // The legend's box.
  int legendWidth = 0, legendRows = 0;
  for (const SeriesSpec& s : m_Series) {
    if (s.Name.empty()) continue;
    legendWidth = std::max<int>(legendWidth, TextSize(dc, s.Name).cx);
    ++legendRows;
  }
  if (m_Legend && legendRows > 0) {
    const int w = legendWidth + Scaled(44), h = legendRows * (labelHeight + Scaled(4)) + Scaled(8);
    int x = Scaled(m_LegendAt.x), y = Scaled(m_LegendAt.y);
    x = std::clamp<int>(x, 0, std::max(0, static_cast<int>(client.right) - w));
    y = std::clamp<int>(y, 0, std::max(0, static_cast<int>(client.bottom) - h));
    in.Legend = {x, y, x + w, y + h};
  }
  m_Layout = LayOutChart(in);
  const Rect& plot = m_Layout.Plot;

  if (!m_Title.empty()) {
    SelectObject(dc, m_TitleFont);
    const Extent size = TextSize(dc, m_Title);
    Text(dc, m_Layout.Title.Left + (m_Layout.Title.Width() - size.cx) / 2, m_Layout.Title.Top,
         m_Title, m_TitleColor);
    SelectObject(dc, m_LabelFont);
  }

  const bool haveData = std::any_of(m_Series.begin(), m_Series.end(),
                                    [](const SeriesSpec& s) { return !s.Points.empty(); });
  if (!xAxis.Visible || !left.Visible || !haveData) {
    m_Pixels.clear();
    if (!m_EmptyText.empty()) {
      const Extent size = TextSize(dc, m_EmptyText);
      Text(dc, (client.right - size.cx) / 2, (client.bottom - size.cy) / 2, m_EmptyText,
           RGB(128, 128, 128));
    }
    SelectObject(dc, oldFont);
    return;
  }

  const CAxisMap xMap(xAxis.Min, xAxis.Max, plot.Left, plot.Right - 1);
  const CAxisMap yMap(left.Min, left.Max, plot.Bottom - 1, plot.Top);

  // Grid and labels of the horizontal axis.
  int widest = 0;
  {
    const std::vector<Tick> probe = TicksOf(xAxis, plot.Width(), Scaled(60));
    for (const Tick& t : probe) widest = std::max<int>(widest, TextSize(dc, Wide(t.Label)).cx);
  }
  const std::vector<Tick> xTicks = TicksOf(xAxis, plot.Width(), widest + Scaled(LABEL_GAP));
  for (const Tick& t : xTicks) {
    const int x = xMap.ToPixelClamped(t.Value);
    if (xAxis.Grid) {
      CPen grid(dc, PS_DOT, 1, xAxis.GridColor);
      Line(dc, x, plot.Top, x, plot.Bottom);
    }
    if (xAxis.Labels) {
      const std::wstring label = Wide(t.Label);
      const Extent size = TextSize(dc, label);
      const int y = xOnTop ? m_Layout.TopAxis.Top : m_Layout.BottomAxis.Top;
      const int lx = std::clamp<int>(x - size.cx / 2, 2,
                                     std::max(2, static_cast<int>(client.right) - size.cx - 2));
      Text(dc, lx, y, label, xAxis.LabelColor);
    }
  }
  // Grid and labels of the value axis.
  leftTicks = TicksOf(left, plot.Height(), 2 * labelHeight);
  for (const Tick& t : leftTicks) {
    const int y = yMap.ToPixelClamped(t.Value);
    if (left.Grid) {
      CPen grid(dc, PS_DOT, 1, left.GridColor);
      Line(dc, plot.Left, y, plot.Right, y);
    }
    if (left.Labels) {
      const std::wstring label = Wide(t.Label);
      const Extent size = TextSize(dc, label);
      Text(dc, plot.Left - Scaled(5) - size.cx, y - size.cy / 2, label, left.LabelColor);
    }
  }
  if (!left.Title.empty()) {
    SelectObject(dc, m_TurnedFont);
    const Extent size = TextSize(dc, left.Title);
    Text(dc, m_Layout.LeftAxis.Left, plot.Top + (plot.Height() + size.cx) / 2, left.Title,
         left.LabelColor);
    SelectObject(dc, m_LabelFont);
  }
  {
    CPen axisPen(dc, PS_SOLID, 1, left.LineColor);
    Line(dc, plot.Left, plot.Top, plot.Left, plot.Bottom);
  }
  {
    CPen axisPen(dc, PS_SOLID, 1, xAxis.LineColor);
    const int y = xOnTop ? plot.Top : plot.Bottom - 1;
    Line(dc, plot.Left, y, plot.Right, y);
  }

  // The series, clipped to the plot.
  m_Pixels.assign(m_Series.size(), {});
  HRGN clip = CreateRectRgn(plot.Left, plot.Top, plot.Right, plot.Bottom);
  SelectClipRgn(dc, clip);
  for (size_t s = 0; s < m_Series.size(); ++s) {
    const SeriesSpec& series = m_Series[s];
    std::vector<PixelPoint>& pixels = m_Pixels[s];
    pixels.reserve(series.Points.size());
    for (const auto& [x, y] : series.Points) {
      pixels.push_back({xMap.ToPixelClamped(x), yMap.ToPixelClamped(y)});
    }
    const int width = std::max(1, Scaled(series.Width));
    if (series.Type == SeriesSpec::Kind::Bar) {
      HBRUSH brush = CreateSolidBrush(series.Color);
      for (const PixelPoint& p : pixels) {
        RECT bar{p.X - width / 2, p.Y, p.X - width / 2 + width, plot.Bottom};
        FillRect(dc, &bar, brush);
      }
      DeleteObject(brush);
    } else if (!pixels.empty()) {
      CPen pen(dc, PS_SOLID, width, series.Color);
      std::vector<POINT> line;
      line.reserve(pixels.size());
      for (const PixelPoint& p : pixels) line.push_back({p.X, p.Y});
      if (line.size() == 1) line.push_back({line[0].x + 1, line[0].y});
      Polyline(dc, line.data(), static_cast<int>(line.size()));
    }
  }
  SelectClipRgn(dc, nullptr);
  DeleteObject(clip);

  // The balloon label.
  if (m_Balloon && m_Balloon->Series < m_Pixels.size() &&
      m_Balloon->Point < m_Pixels[m_Balloon->Series].size()) {
    const PixelPoint p = m_Pixels[m_Balloon->Series][m_Balloon->Point];
    const Extent size = TextSize(dc, m_Balloon->Text);
    const int pad = Scaled(4);
    int x = std::clamp<int>(p.X - size.cx / 2 - pad, plot.Left,
                            std::max(plot.Left, plot.Right - size.cx - 2 * pad));
    int y = p.Y - size.cy - 2 * pad - Scaled(8);
    if (y < plot.Top) y = p.Y + Scaled(8);
    CPen pen(dc, PS_SOLID, 1, BORDER);
    HBRUSH fill = CreateSolidBrush(RGB(255, 255, 225));
    HGDIOBJ oldBrush = SelectObject(dc, fill);
    RoundRect(dc, x, y, x + size.cx + 2 * pad, y + size.cy + 2 * pad, pad * 2, pad * 2);
    SelectObject(dc, oldBrush);
    DeleteObject(fill);
    Line(dc, p.X, p.Y, p.X, y < p.Y ? y + size.cy + 2 * pad : y);
    Text(dc, x + pad, y + pad, m_Balloon->Text, RGB(0, 0, 0));
  }

  // The legend.
  if (m_Legend && legendRows > 0) {
    const Rect& box = m_Layout.Legend;
    HBRUSH fill = CreateSolidBrush(BACKGROUND);
    RECT r{box.Left, box.Top, box.Right, box.Bottom};
    FillRect(dc, &r, fill);
    DeleteObject(fill);
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    int y = box.Top + Scaled(4);
    for (const SeriesSpec& s : m_Series) {
      if (s.Name.empty()) continue;
      {
        CPen pen(dc, PS_SOLID, std::max(2, Scaled(s.Width)), s.Color);
        Line(dc, box.Left + Scaled(6), y + labelHeight / 2, box.Left + Scaled(30),
             y + labelHeight / 2);
      }
      Text(dc, box.Left + Scaled(36), y, s.Name, RGB(64, 64, 64));
      y += labelHeight + Scaled(4);
    }
  }
  DrawHover(dc);
  SelectObject(dc, oldFont);
}

void CChartCtrl::DrawHover(HDC dc) {
  if (!m_Hover || m_Hover->first >= m_Pixels.size() ||
      m_Hover->second >= m_Pixels[m_Hover->first].size()) {
    return;
  }
  const SeriesSpec& series = m_Series[m_Hover->first];
  const PixelPoint p = m_Pixels[m_Hover->first][m_Hover->second];
  const auto& [vx, vy] = series.Points[m_Hover->second];
  const AxisSpec& xAxis = m_Axes[static_cast<size_t>(m_XAxis)];
  char value[96];
  if (xAxis.DateTime) {
    std::snprintf(value, sizeof value, "%s  %.10g",
                  FormatDate(static_cast<int64_t>(vx), "%Y-%m-%d %H:%M").c_str(), vy);
  } else {
    std::snprintf(value, sizeof value, "%.10g  %.10g", vx, vy);
  }
  const std::string text = value;
  const std::wstring wide = Wide(text);
  const int r = Scaled(4);
  {
    CPen pen(dc, PS_SOLID, 2, series.Color);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    Ellipse(dc, p.X - r, p.Y - r, p.X + r + 1, p.Y + r + 1);
    SelectObject(dc, oldBrush);
  }
  const Extent size = TextSize(dc, wide);
  const Rect& plot = m_Layout.Plot;
  int x = p.X + 2 * r, y = p.Y - size.cy - 2 * r;
  if (x + size.cx + 2 * r > plot.Right) x = p.X - size.cx - 4 * r;
  if (y < plot.Top) y = p.Y + 2 * r;
  RECT box{x, y, x + size.cx + 2 * r, y + size.cy + r};
  FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FrameRect(dc, &box, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  Text(dc, x + r, y + r / 2, wide, RGB(0, 0, 0));
}

}  // namespace chart
