// The arithmetic of the skinned windows, kept apart from the window system so
// it is tested natively: zoom from the monitor's DPI, scaled coordinates,
// which frame of an image strip a control shows, alpha blending over the
// copy of the background, the generated frame panel, text bands, tooltip
// replacement, the pause between DPI changes and the splash window's shape.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ui {

// Zoom in percent for a "ZoomType" choice: 0 follows the DPI (96 = 100 %,
// steps 100, 125, 150, 200, 250, 300), any other choice is taken as the
// percent itself, kept between 50 and 300.
int32_t ZoomPercent(int32_t dpi, int32_t choice);
// A base coordinate at a zoom factor, truncated.
int32_t Scale(int32_t value, double zoom);

// Which frame of a vertical image strip a control draws.
struct ControlState {
  bool Enabled = true;
  bool Pressed = false;
  bool Hover = false;
  bool Selected = false;
};
int32_t ButtonFrame(int32_t frameCount, const ControlState& state);
// Height of one frame of an image `imageHeight` high holding `frameCount`
// frames; 0 when there are none (a text button has no strip).
int32_t FrameHeight(int32_t imageHeight, int32_t frameCount);
// Whether an image strip fits a control of `width` x `height` device pixels.
bool ImageFits(int32_t imageWidth, int32_t imageHeight, int32_t frameCount, int32_t width,
               int32_t height);

// One channel of a pixel drawn with opacity `alpha` over `background`.
uint8_t Blend(uint8_t background, uint8_t image, uint8_t alpha);
// The opacity of an image pixel: its own alpha (32-bit images) scaled by the
// control's constant alpha; 24-bit images take the constant alone.
uint8_t PixelAlpha(bool hasAlpha, uint8_t pixelAlpha, uint8_t constantAlpha);

struct Color {
  uint8_t R = 0;
  uint8_t G = 0;
  uint8_t B = 0;
  bool operator==(const Color&) const = default;
};
// Per channel (a x w + b x (255 - w)) / 255.
Color Mix(Color a, Color b, uint8_t weight);

// Pixels (BGRA, top row first) of the translucent frame panel of a control:
// a two-part vertical gradient (resource variant) or white, a grey border,
// alpha 128 everywhere. Empty for an empty size.
std::vector<uint32_t> FramePanel(int32_t width, int32_t height, bool gradient);

// The band of line `line` of `lines` in a text area `height` high: top and
// bottom, integer arithmetic.
struct Band {
  int32_t Top = 0;
  int32_t Bottom = 0;
};
Band LineBand(int32_t height, int32_t lines, int32_t line);
// A button text split at "\r\n".
std::vector<std::string> SplitLines(const std::string& text);

// Whether a tooltip text replaces the stored one: an empty text always does;
// a text the stored one begins with (the same text too) does not.
bool TooltipReplaces(const std::string& stored, const std::string& text);

// DPI changes closer than a second apart are ignored, for every pane of the
// process together.
class CDpiChangeGate {
 public:
  // Whether a change at `tick` (milliseconds) is handled; records it if so.
  bool Accept(uint64_t tick);

 private:
  bool m_Seen = false;
  uint64_t m_Last = 0;
};

// Whether a display is treated as low colour: high contrast, or at most 23
// bits per pixel.
bool IsLowColor(bool highContrast, int32_t planes, int32_t bitsPerPixel);

// The runs of one row of the splash bitmap that are not the transparent
// colour: [start, end) pixel ranges.
struct PixelRun {
  int32_t Start = 0;
  int32_t End = 0;
};
std::vector<PixelRun> OpaqueRuns(const uint32_t* row, int32_t width, uint32_t transparent);

}  // namespace ui
