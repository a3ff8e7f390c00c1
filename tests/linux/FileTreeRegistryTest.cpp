// The file tree that stands for the registry on Linux: one folder per key,
// one file per value, names that never leave the tree.
#include "os/FileTreeRegistry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/TempDir.h"

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(FileTreeRegistry, StoresKeysAsFoldersAndNeverLeavesItsRoot) {
  struct Case {
    const char* Name;
    const char* Encoded;
  };
  const Case names[] = {
      {"Vardex", "Vardex"}, {"a/b", "a%2Fb"},  {"..", "%2E."}, {".", "%2E"},
      {"50%", "50%25"},     {"a\nb", "a%0Ab"}, {"x.y", "x.y"}, {"\x7F", "%7F"},
  };
  for (const Case& c : names) EXPECT_EQ(os::CFileTreeRegistry::EncodeName(c.Name), c.Encoded);

  testutil::CTempDir dir;
  const std::string root = dir.File("registry");
  os::CFileTreeRegistry reg(root);
  const std::string key = "software\\Tessaly\\Vardex";
  ASSERT_TRUE(reg.CreateVolatileKey(key));
  ASSERT_TRUE(reg.SetDword(key, "DiskCount", 2));
  ASSERT_TRUE(reg.CreateVolatileKey(key + "\\..\\..\\.."));
  ASSERT_TRUE(reg.SetString(key + "\\..\\..\\..", "Model", "M/1"));
  EXPECT_EQ(ReadText(root + "/software/Tessaly/Vardex/DiskCount"), "2\n");
  EXPECT_EQ(ReadText(root + "/software/Tessaly/Vardex/%2E./%2E./%2E./Model"), "M/1\n");
  // Values go only into keys that exist; empty parts are refused.
  EXPECT_FALSE(reg.SetDword(key + "\\Missing", "X", 1));
  EXPECT_FALSE(reg.CreateVolatileKey("software\\\\x"));
  EXPECT_FALSE(reg.CreateVolatileKey(""));
  // Nothing was written outside the root.
  size_t outside = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
    outside += e.path().filename() != "registry";
  }
  EXPECT_EQ(outside, 0u);

  ASSERT_TRUE(reg.DeleteTree("software\\Tessaly"));
  EXPECT_FALSE(std::filesystem::exists(root + "/software/Tessaly"));
  EXPECT_TRUE(reg.DeleteTree("software\\Tessaly"));  // already gone
}

}  // namespace
