// The file tree that stands for the registry on Linux: one folder per key,
// one file per value, names that never leave the tree.
#include "os/FileTreeRegistry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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

// Everything under `root`: relative path -> file text, or "<dir>".
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> all;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    const std::string rel = std::filesystem::relative(e.path(), root).string();
    all[rel] = e.is_directory() ? "<dir>" : ReadText(e.path().string());
  }
  return all;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

os::RegistryValue Dword(const char* name, uint32_t value) { return {name, true, value, {}}; }
os::RegistryValue Text(const char* name, const char* value) { return {name, false, 0, value}; }

os::RegistryTree::Subkey Sub(const char* name, int index, const char* model) {
  return {name, {Text(("Disk" + std::to_string(index)).c_str(), name)}, {Text("Model", model)}};
}

// Writing only what changed must leave the same tree as deleting the key
// and writing it all again, whatever came before.
TEST(FileTreeRegistry, ReplacingATreeLeavesWhatAWholeRewriteLeaves) {
  using Tree = os::RegistryTree;
  const std::vector<Tree> steps = {
      {{Dword("DiskCount", 2)}, {Sub("A1", 0, "A"), Sub("B2", 1, "B")}},
      // A value changes, a disk goes.
      {{Dword("DiskCount", 1)}, {Sub("A1", 0, "A'")}},
      // Names the file tree must encode; a name that cannot be a key part;
      // a subkey named twice (the later values win, both parent values
      // stay).
      {{Dword("DiskCount", 4), Text("a/b", "x\ny")},
       {Sub("..", 0, "dots"), Sub("X\\Y", 1, "nested"), Sub("", 2, "empty"), Sub("A1", 3, "A"),
        Sub("A1", 4, "A again")}},
      {{Dword("DiskCount", 0)}, {}},
      {{Dword("DiskCount", 1)}, {Sub("B2", 0, "B")}},
  };
  testutil::CTempDir dir;
  os::CFileTreeRegistry diff(dir.File("diff"));
  os::CFileTreeRegistry whole(dir.File("whole"));
  const std::string key = "software\\Tessaly\\Vardex";
  for (size_t i = 0; i < steps.size(); ++i) {
    ASSERT_TRUE(diff.ReplaceTree(key, steps[i]));
    ASSERT_TRUE(whole.IRegistry::ReplaceTree(key, steps[i]));
    EXPECT_EQ(Snapshot(dir.File("diff")), Snapshot(dir.File("whole"))) << "step " << i;
  }
}

TEST(FileTreeRegistry, ReplacingATreeWritesOnlyWhatChangedOrWentMissing) {
  testutil::CTempDir dir;
  const std::string root = dir.File("registry");
  os::CFileTreeRegistry reg(root);
  const std::string key = "software\\Tessaly\\Vardex";
  const std::string folder = root + "/software/Tessaly/Vardex";
  os::RegistryTree tree{{Dword("LastUpdate", 1), Dword("DiskCount", 2)},
                        {Sub("A1", 0, "A"), Sub("B2", 1, "B")}};
  ASSERT_TRUE(reg.ReplaceTree(key, tree));
  EXPECT_EQ(ReadText(folder + "/Disk1"), "B2\n");
  EXPECT_EQ(ReadText(folder + "/B2/Model"), "B\n");
  const ino_t count = Inode(folder + "/DiskCount");
  const ino_t modelA = Inode(folder + "/A1/Model");
  const ino_t update = Inode(folder + "/LastUpdate");

  // Only the changed values get new files (a value is replaced by a rename,
  // so a new file is a new inode).
  tree.Values[0].Dword = 2;
  tree.Subkeys[1].Values[0].Text = "B, newer";
  ASSERT_TRUE(reg.ReplaceTree(key, tree));
  EXPECT_EQ(Inode(folder + "/DiskCount"), count);
  EXPECT_EQ(Inode(folder + "/A1/Model"), modelA);
  EXPECT_NE(Inode(folder + "/LastUpdate"), update);
  EXPECT_EQ(ReadText(folder + "/LastUpdate"), "2\n");
  EXPECT_EQ(ReadText(folder + "/B2/Model"), "B, newer\n");

  // Removed behind the tree's back: written again though unchanged. A file
  // where a key belongs, a half-written value a crash left, a stranger's
  // file: only the tree remains.
  std::filesystem::remove(folder + "/DiskCount");
  std::filesystem::remove_all(folder + "/A1");
  std::ofstream(folder + "/.new-Disk0") << "A";
  std::ofstream(folder + "/Stranger") << "x";
  std::filesystem::remove_all(folder + "/B2");
  std::ofstream(folder + "/B2") << "not a key";
  ASSERT_TRUE(reg.ReplaceTree(key, tree));
  EXPECT_EQ(Snapshot(folder), (std::map<std::string, std::string>{
                                  {"LastUpdate", "2\n"},
                                  {"DiskCount", "2\n"},
                                  {"Disk0", "A1\n"},
                                  {"Disk1", "B2\n"},
                                  {"A1", "<dir>"},
                                  {"A1/Model", "A\n"},
                                  {"B2", "<dir>"},
                                  {"B2/Model", "B, newer\n"},
                              }));

  // Once the folders' times are old enough to be relied on, a folder whose
  // time is unchanged is not listed again, and one whose time changed is.
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  for (const char* f : {"", "/A1", "/B2"}) std::filesystem::last_write_time(folder + f, old);
  ASSERT_TRUE(reg.ReplaceTree(key, tree));  // lists the folders, takes their times
  std::filesystem::remove(folder + "/A1/Model");
  std::ofstream(folder + "/B2/Planted") << "x";
  std::filesystem::last_write_time(folder + "/B2", old);
  tree.Values[0].Dword = 3;
  ASSERT_TRUE(reg.ReplaceTree(key, tree));
  EXPECT_EQ(ReadText(folder + "/A1/Model"), "A\n");
  EXPECT_EQ(ReadText(folder + "/LastUpdate"), "3\n");
  EXPECT_TRUE(std::filesystem::exists(folder + "/B2/Planted"));  // B2 was not listed
  // Its time changed: listed, and what does not belong there goes.
  std::filesystem::last_write_time(folder + "/B2", old + std::chrono::seconds(1));
  ASSERT_TRUE(reg.ReplaceTree(key, tree));
  EXPECT_FALSE(std::filesystem::exists(folder + "/B2/Planted"));

  // After the key was deleted everything is written again.
  ASSERT_TRUE(reg.DeleteTree(key));
  ASSERT_TRUE(reg.ReplaceTree(key, tree));
  EXPECT_EQ(ReadText(folder + "/A1/Model"), "A\n");
  EXPECT_EQ(ReadText(folder + "/DiskCount"), "2\n");
}

}  // namespace
