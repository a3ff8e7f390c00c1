#include "ui/SkinMath.h"

#include <algorithm>

namespace ui {

int32_t ZoomPercent(int32_t dpi, int32_t choice) {
  if (choice != 0) return std::clamp(choice, 50, 300);
  const int32_t p = static_cast<int32_t>(static_cast<double>(dpi) / 96.0 * 100.0);
  for (int32_t step : {300, 250, 200, 150, 125}) {
    if (p >= step) return step;
  }
  return 100;
}

int32_t Scale(int32_t value, double zoom) {
  return static_cast<int32_t>(static_cast<double>(value) * zoom);
}

int32_t ButtonFrame(int32_t frameCount, const ControlState& s) {
  if (!s.Enabled) return 0;
  if (s.Pressed || s.Hover) return frameCount >= 2 ? 1 : 0;
  if (s.Selected) {
    if (frameCount >= 4) return 3;
    return frameCount >= 2 ? 1 : 0;
  }
  return 0;
}

int32_t FrameHeight(int32_t imageHeight, int32_t frameCount) {
  // A text button carries no strip (frame count 0): there is nothing to
  // divide.
  if (frameCount <= 0 || imageHeight <= 0) return 0;
  return imageHeight / frameCount;
}

bool ImageFits(int32_t imageWidth, int32_t imageHeight, int32_t frameCount, int32_t width,
               int32_t height) {
  if (width <= 0 || height <= 0) return false;
  return imageWidth == width && FrameHeight(imageHeight, frameCount) == height;
}

uint8_t Blend(uint8_t background, uint8_t image, uint8_t alpha) {
  return static_cast<uint8_t>((background * (255 - alpha) + image * alpha) / 255);
}

uint8_t PixelAlpha(bool hasAlpha, uint8_t pixelAlpha, uint8_t constantAlpha) {
  if (!hasAlpha) return constantAlpha;
  if (constantAlpha == 255) return pixelAlpha;
  return static_cast<uint8_t>(pixelAlpha * constantAlpha / 255);
}

Color Mix(Color a, Color b, uint8_t w) {
  auto ch = [w](uint8_t x, uint8_t y) {
    return static_cast<uint8_t>((x * w + y * (255 - w)) / 255);
  };
  return {ch(a.R, b.R), ch(a.G, b.G), ch(a.B, b.B)};
}

namespace {

uint32_t Bgra(Color c, uint8_t alpha) {
  return static_cast<uint32_t>(c.B) | static_cast<uint32_t>(c.G) << 8 |
         static_cast<uint32_t>(c.R) << 16 | static_cast<uint32_t>(alpha) << 24;
}

Color Gradient(Color from, Color to, int32_t step, int32_t steps) {
  if (steps <= 1) return from;
  auto ch = [&](uint8_t a, uint8_t b) {
    return static_cast<uint8_t>(a + (b - a) * step / (steps - 1));
  };
  return {ch(from.R, to.R), ch(from.G, to.G), ch(from.B, to.B)};
}

}  // namespace

std::vector<uint32_t> FramePanel(int32_t width, int32_t height, bool gradient) {
  if (width <= 0 || height <= 0) return {};
  const Color white{255, 255, 255};
  const Color silver{192, 192, 192};
  const Color upperFrom = Mix(white, silver, 96);                 // 215
  const Color upperTo = Mix(white, Mix(silver, white, 128), 48);  // 229
  const Color lowerFrom = Mix(silver, white, 128);                // 223
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  const int32_t half = height / 2;
  for (int32_t y = 0; y < height; ++y) {
    Color c = white;
    if (gradient) {
      c = y < half ? Gradient(upperFrom, upperTo, y, half)
                   : Gradient(lowerFrom, white, y - half, height - half);
    }
    for (int32_t x = 0; x < width; ++x) {
      const bool border = x == 0 || y == 0 || x == width - 1 || y == height - 1;
      pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
          Bgra(border ? Color{128, 128, 128} : c, 128);
    }
  }
  return pixels;
}

Band LineBand(int32_t height, int32_t lines, int32_t line) {
  if (lines <= 0) return {0, height};
  return {height * line / lines, height * (line + 1) / lines};
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

bool TooltipReplaces(const std::string& stored, const std::string& text) {
  if (text.empty()) return true;
  return stored.compare(0, text.size(), text) != 0;
}

bool CDpiChangeGate::Accept(uint64_t tick) {
  if (m_Seen && tick - m_Last < 1000) return false;
  m_Seen = true;
  m_Last = tick;
  return true;
}

bool IsLowColor(bool highContrast, int32_t planes, int32_t bitsPerPixel) {
  return highContrast || planes * bitsPerPixel <= 23;
}

std::vector<PixelRun> OpaqueRuns(const uint32_t* row, int32_t width, uint32_t transparent) {
  std::vector<PixelRun> runs;
  int32_t x = 0;
  while (x < width) {
    while (x < width && (row[x] & 0xFFFFFFu) == transparent) ++x;
    if (x >= width) break;
    const int32_t start = x;
    while (x < width && (row[x] & 0xFFFFFFu) != transparent) ++x;
    runs.push_back({start, x});
  }
  return runs;
}

}  // namespace ui
