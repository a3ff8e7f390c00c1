#include <gtest/gtest.h>

#include "engine/AtaSmart.h"

TEST(Record, CommandTypeCodesCoverEveryType) {
  for (int t = 0; t < CMD_TYPE_COUNT; ++t) {
    ASSERT_NE(kCommandTypeCodes[t], nullptr);
    EXPECT_EQ(std::string(kCommandTypeCodes[t]).size(), 2u) << t;
  }
}
