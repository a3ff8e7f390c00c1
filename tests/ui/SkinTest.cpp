// The arithmetic of the skinned windows: zoom, frames, blending, the frame
// panel, text bands, tooltips, the DPI pause, the splash shape and where a
// control's image comes from.
#include <gtest/gtest.h>

#include <map>

#include "ui/ImageSource.h"
#include "ui/SkinMath.h"

namespace ui {
namespace {

TEST(Skin, ZoomFollowsTheDpiInStepsOrTakesTheChoice) {
  struct Case {
    int32_t Dpi, Choice, Percent;
  };
  const Case cases[] = {
      {96, 0, 100},
      {119, 0, 100},
      {120, 0, 125},
      {143, 0, 125},
      {144, 0, 150},
      {191, 0, 150},
      {192, 0, 200},
      {239, 0, 200},
      {240, 0, 250},
      {288, 0, 300},
      {480, 0, 300},
      {96, 175, 175},
      {144, 100, 100},
      {96, 150, 150},
      // A choice no window can be drawn at is kept within reach.
      {96, 5000, 300},
      {96, -20, 50},
      {96, 1, 50},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ZoomPercent(c.Dpi, c.Choice), c.Percent) << c.Dpi << " dpi, choice " << c.Choice;
  }
  EXPECT_EQ(Scale(107, 1.25), 133);
  EXPECT_EQ(Scale(990, 1.5), 1485);
}

TEST(Skin, StateFrameOfAButton) {
  struct Case {
    int32_t Frames;
    ControlState State;
    int32_t Frame;
  };
  const Case cases[] = {
      {4, {true, false, true, false}, 1}, {4, {true, true, false, false}, 1},
      {4, {true, false, false, true}, 3}, {4, {false, false, false, true}, 0},
      {4, {true, false, true, true}, 1},  {2, {true, false, false, true}, 1},
      {1, {true, true, true, true}, 0},   {1, {true, false, false, true}, 0},
      {0, {true, false, false, true}, 0}, {4, {true, false, false, false}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ButtonFrame(c.Frames, c.State), c.Frame)
        << c.Frames << " frames, enabled " << c.State.Enabled << " pressed " << c.State.Pressed
        << " hover " << c.State.Hover << " selected " << c.State.Selected;
  }
}

TEST(Skin, ImageStripMustFitTheControlAndATextButtonHasNoFrames) {
  // A text button carries a frame count of 0: no division by it.
  EXPECT_EQ(FrameHeight(160, 0), 0);
  EXPECT_EQ(FrameHeight(160, -3), 0);
  EXPECT_EQ(FrameHeight(160, 4), 40);
  EXPECT_FALSE(ImageFits(100, 40, 0, 100, 40));
  EXPECT_TRUE(ImageFits(100, 160, 4, 100, 40));
  // Drawn for zoom 1, placed at 1.25: refused, the control draws without it.
  EXPECT_FALSE(ImageFits(100, 40, 1, 125, 50));
  EXPECT_FALSE(ImageFits(0, 0, 1, 0, 0));
}

TEST(Skin, BlendingOverTheBackgroundCopy) {
  EXPECT_EQ(Blend(0, 255, 255), 255);
  EXPECT_EQ(Blend(200, 100, 0), 200);
  EXPECT_EQ(Blend(0, 255, 128), 128);
  EXPECT_EQ(Blend(255, 0, 128), 127);
  EXPECT_EQ(PixelAlpha(true, 200, 255), 200);
  EXPECT_EQ(PixelAlpha(true, 200, 128), 100);
  EXPECT_EQ(PixelAlpha(false, 17, 90), 90);
  // The gradient colours of the frame panel.
  EXPECT_EQ(Mix({192, 192, 192}, {255, 255, 255}, 128), (Color{223, 223, 223}));
  EXPECT_EQ(Mix({255, 255, 255}, {192, 192, 192}, 96), (Color{215, 215, 215}));
  EXPECT_EQ(Mix({255, 255, 255}, {223, 223, 223}, 48), (Color{229, 229, 229}));
}

TEST(Skin, FramePanelHasAGreyBorderAndHalfAlpha) {
  const std::vector<uint32_t> p = FramePanel(6, 8, true);
  ASSERT_EQ(p.size(), 48u);
  for (uint32_t px : p) EXPECT_EQ(px >> 24, 128u);
  EXPECT_EQ(p[0] & 0xFFFFFFu, 0x808080u);
  EXPECT_EQ(p[47] & 0xFFFFFFu, 0x808080u);
  EXPECT_EQ(p[3 * 6 + 1] & 0xFFu, 229u);  // the upper half ends at 229
  EXPECT_EQ(p[4 * 6 + 1] & 0xFFu, 223u);  // the lower half starts at 223
  EXPECT_EQ(p[6 * 6 + 1] & 0xFFu, 244u);  // and goes towards white
  EXPECT_EQ(FramePanel(4, 4, false)[5] & 0xFFFFFFu, 0xFFFFFFu);
  EXPECT_TRUE(FramePanel(0, 10, true).empty());
}

TEST(Skin, ButtonTextLinesShareTheHeight) {
  EXPECT_EQ(SplitLines("C:\r\nD:").size(), 2u);
  EXPECT_EQ(SplitLines("one").size(), 1u);
  const Band first = LineBand(40, 2, 0), second = LineBand(40, 2, 1);
  EXPECT_EQ(first.Top, 0);
  EXPECT_EQ(first.Bottom, 20);
  EXPECT_EQ(second.Top, 20);
  EXPECT_EQ(second.Bottom, 40);
  EXPECT_EQ(LineBand(10, 3, 2).Top, 6);
  EXPECT_EQ(LineBand(10, 0, 0).Bottom, 10);
}

TEST(Skin, TooltipReplacement) {
  struct Case {
    const char* Stored;
    const char* Text;
    bool Replaces;
  };
  const Case cases[] = {
      {"Disk 0 : model", "Disk 0", false}, {"Disk 0", "Disk 0", false}, {"Disk 0", "", true},
      {"Disk 0", "Disk 0 : model", true},  {"abc", "abd", true},
  };
  for (const Case& c : cases) EXPECT_EQ(TooltipReplaces(c.Stored, c.Text), c.Replaces) << c.Text;
}

TEST(Skin, DpiChangesCloserThanASecondAreIgnored) {
  CDpiChangeGate gate;
  EXPECT_TRUE(gate.Accept(5000));
  EXPECT_FALSE(gate.Accept(5999));
  EXPECT_TRUE(gate.Accept(6000));
  EXPECT_FALSE(gate.Accept(6500));
}

TEST(Skin, LowColourAndTheSplashShape) {
  EXPECT_TRUE(IsLowColor(true, 1, 32));
  EXPECT_TRUE(IsLowColor(false, 1, 16));
  EXPECT_FALSE(IsLowColor(false, 1, 24));
  const uint32_t m = 0xFF00FF;
  const uint32_t row[] = {m, m, 1, 2, m, 3, m};
  const std::vector<PixelRun> runs = OpaqueRuns(row, 7, m);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].Start, 2);
  EXPECT_EQ(runs[0].End, 4);
  EXPECT_EQ(runs[1].Start, 5);
  EXPECT_EQ(runs[1].End, 6);
  EXPECT_TRUE(OpaqueRuns(row, 0, m).empty());
}

// A control asks for its skin file and falls back to its built-in image
// when that fails: the answer has to be the state of the image each time.
TEST(Skin, ImageSourceReportsTheRealLoadStateAlsoForTheSamePath) {
  std::map<std::wstring, bool> files = {{L"good.png", true}, {L"missing.png", false}};
  int loads = 0;
  auto load = [&](const std::wstring& path, int) {
    ++loads;
    return files[path];
  };
  CImageSource source;
  EXPECT_FALSE(source.SetFile(L"missing.png", 1, load));
  // Asked again (next redraw): still failed, so the caller falls back again.
  EXPECT_FALSE(source.SetFile(L"missing.png", 1, load));
  EXPECT_EQ(loads, 1);
  EXPECT_TRUE(source.SetFile(L"good.png", 1, load));
  // A good image asked for again is kept, not replaced by the fallback.
  EXPECT_TRUE(source.SetFile(L"good.png", 1, load));
  EXPECT_EQ(loads, 2);
  EXPECT_FALSE(source.SetFile(L"", 1, load));
  // A resize that no longer fits drops it.
  source.Resized(false);
  EXPECT_FALSE(source.Loaded());
  EXPECT_TRUE(source.SetResource(301, 1, [](int id, int) { return id == 301; }));
  EXPECT_FALSE(source.SetResource(999, 1, [](int id, int) { return id == 301; }));
}

}  // namespace
}  // namespace ui
