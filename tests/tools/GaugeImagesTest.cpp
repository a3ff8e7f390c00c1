// The pictures the gauges choose: both ends of every band of the
// five-percent gauges (performance pane, memory use), and the read and
// write gauges, whose ten-percent steps differ at their bounds.
#include <gtest/gtest.h>

#include <cstdint>

#include "tools/MemoryPane.h"
#include "tools/PerformanceSampler.h"

namespace {

// 0, then 1-5, 6-10 ... 91-95, then 96 and above, with the pictures in the
// order the bands rise.
TEST(GaugeImages, FivePercentGaugesAtEveryBandBound) {
  const struct {
    const char* Name;
    int32_t (*ImageOf)(int32_t);
    int32_t Images[21];
  } gauges[] = {
      {"performance", PerformanceGaugeImage, {520, 537, 425, 538, 426, 539, 427, 540, 428, 541, 429,
                                              542, 430, 543, 431, 544, 432, 545, 433, 546, 434}},
      {"memory use", MemoryUsageImage, {509, 548, 510, 549, 511, 550, 512, 551, 513, 552, 514,
                                        553, 515, 554, 516, 555, 517, 556, 518, 557, 519}},
  };
  for (const auto& g : gauges) {
    for (int32_t band = 0; band <= 20; ++band) {
      const int32_t low = band == 0 ? 0 : band == 20 ? 96 : 5 * band - 4;
      const int32_t high = band == 20 ? 100 : 5 * band;
      EXPECT_EQ(g.ImageOf(low), g.Images[band]) << g.Name << " " << low;
      EXPECT_EQ(g.ImageOf(high), g.Images[band]) << g.Name << " " << high;
    }
    EXPECT_EQ(g.ImageOf(-1), g.Images[0]) << g.Name;
    EXPECT_EQ(g.ImageOf(250), g.Images[20]) << g.Name;
  }
  // Through the usage figures: 3,440 of 16,384 MiB in use is 20.99 %, still
  // the 16-20 % band (whole percents); 3,441 MiB is 21 %, the next band.
  EXPECT_EQ(ComputeMemoryUsage(16384, 16384 - 3440).Image, 511);
  EXPECT_EQ(ComputeMemoryUsage(16384, 16384 - 3441).Image, 550);
}

// The read gauge's steps include their lower bound, the write gauge's their
// upper bound: the two differ exactly at the tens.
TEST(GaugeImages, RateGaugesAtEveryStepBound) {
  const struct {
    double P;
    int32_t Read, Write;
  } cases[] = {
      {-5, 463, 463},    {0, 463, 463},     {0.01, 464, 463},  {9.99, 464, 463},  {10, 465, 463},
      {10.01, 465, 464}, {19.99, 465, 464}, {20, 466, 464},    {20.01, 466, 465}, {30, 467, 465},
      {30.01, 467, 466}, {40, 468, 466},    {40.01, 468, 467}, {50, 469, 467},    {50.01, 469, 468},
      {60, 470, 468},    {60.01, 470, 469}, {70, 471, 469},    {70.01, 471, 470}, {80, 472, 470},
      {80.01, 472, 471}, {89.99, 472, 471}, {90, 473, 471},    {90.01, 473, 472}, {99.99, 473, 472},
      {100, 473, 473},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadGaugeImage(c.P), c.Read) << c.P;
    EXPECT_EQ(WriteGaugeImage(c.P), c.Write) << c.P;
  }
}

}  // namespace
