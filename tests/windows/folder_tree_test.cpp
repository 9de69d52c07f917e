// CopyTree (copy and move) and DeleteTree on real folder trees.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/windows/support/test_files.h"
#include "update/folder_tree.h"

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

enum Op { kCopy, kMove, kDelete };
const char* const kOpNames[] = {"copy", "move", "delete"};

bool RunOp(Op op, const std::string& source, const std::string& dest) {
  if (op == kDelete) return DeleteTree(source.c_str(), "");
  return CopyTree(source.c_str(), dest.c_str(), "", op == kCopy);
}

const Files kNested = {{"top.txt", "top"},
                       {"sub\\b.txt", "b"},
                       {"sub\\deeper\\c.txt", "c"},
                       {"sub\\deeper\\deepest\\d.txt", "d"},
                       {"sub\\empty\\", ""},
                       {"other\\e.txt", "e"},
                       {"セーブ\\表示.SAV", "sjis"}};

// Trees from a table: what each operation leaves in the source and the destination.
struct TreeCase {
  const char* what;
  Files source;
  Files destBefore;  // made only when `destExists`
  bool destExists;
};

class TreeShapeTest : public testing::TestWithParam<std::tuple<TreeCase, Op>> {};

TEST_P(TreeShapeTest, ReproducesOrRemovesTheWholeTree) {
  const TreeCase& c = std::get<0>(GetParam());
  Op op = std::get<1>(GetParam());
  std::string dir = FreshTestDir("tree_shape");
  std::string source = dir + "\\src";
  std::string dest = dir + "\\dst";
  MakeTree(source, c.source);
  if (c.destExists) MakeTree(dest, c.destBefore);
  TreeSnapshot sourceBefore = SnapshotTree(source);
  TreeSnapshot destWanted = c.destExists ? SnapshotTree(dest) : TreeSnapshot();
  for (const auto& entry : sourceBefore) destWanted[entry.first] = entry.second;

  EXPECT_TRUE(RunOp(op, source, dest));
  if (op == kCopy) {
    EXPECT_EQ(SnapshotTree(source), sourceBefore);
    EXPECT_EQ(SnapshotTree(dest), destWanted);
  } else if (op == kMove) {
    EXPECT_FALSE(DirExists(source));
    EXPECT_EQ(SnapshotTree(dest), destWanted);
  } else {
    EXPECT_FALSE(DirExists(source));
    EXPECT_EQ(DirExists(dest), c.destExists);
  }
}

const TreeCase kTreeCases[] = {
    {"empty source", {}, {}, false},
    {"nested tree", kNested, {}, false},
    {"destination already there: files overwritten, folders reused, others kept",
     kNested,
     {{"top.txt", "old top, longer than the new one"},
      {"sub\\b.txt", "old b"},
      {"sub\\keep.txt", "keep"},
      {"sub\\deeper\\", ""},
      {"mine\\x.txt", "x"}},
     true},
    {"names that begin with dots",
     {{".hidden", "1"},
      {"..x", "2"},
      {".d\\f.txt", "4"},
      {"..dir\\.g", "5"},
      {"..more\\", ""}},
     {},
     false},
};

INSTANTIATE_TEST_SUITE_P(
    Cases, TreeShapeTest,
    testing::Combine(testing::ValuesIn(kTreeCases), testing::Values(kCopy, kMove, kDelete)),
    [](const testing::TestParamInfo<std::tuple<TreeCase, Op>>& info) {
      return "Case" + std::to_string(info.index / 3) + "_" + kOpNames[std::get<1>(info.param)];
    });

TEST(TreeMissingRoot, NothingHappensAndFalseComesBack) {
  for (Op op : {kCopy, kMove, kDelete}) {
    SCOPED_TRACE(kOpNames[op]);
    std::string dir = FreshTestDir("tree_missing");
    EXPECT_FALSE(RunOp(op, dir + "\\nothing", dir + "\\dst"));
    EXPECT_FALSE(DirExists(dir + "\\dst"));
    EXPECT_TRUE(SnapshotTree(dir).empty());
  }
}

// A folder that cannot be listed, in the middle of the tree: root\m_mid\<bad>. The walk stops
// there; entries after it in listing order stay as they were, in that folder and above.
struct UnlistableCase {
  const char* what;
  // Makes the bad folder below `parent` and returns its name as the listing shows it.
  std::string (*make)(const std::string& parent);
  void (*remove)(const std::string& parent);
};

// Thai has no code page 932 form: the ANSI listing shows "?", which no folder path can name.
std::string MakeUnnamable(const std::string& parent) {
  std::wstring wide = LongPath(parent) + L"\\\x0E01";
  EXPECT_TRUE(CreateDirectoryW(wide.c_str(), NULL));
  HANDLE file = CreateFileW((wide + L"\\in.txt").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                            0, NULL);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  return "?";
}
void RemoveUnnamable(const std::string& parent) {
  std::wstring wide = LongPath(parent) + L"\\\x0E01";
  DeleteFileW((wide + L"\\in.txt").c_str());
  RemoveDirectoryW(wide.c_str());
}

// The folder's own path fits 259 bytes, its search pattern does not.
std::string MakeTooDeepToList(const std::string& parent) {
  std::string name = "m_" + std::string(257 - parent.size() - 1 - 2, 'q');
  std::string path = parent + "\\" + name;
  EXPECT_EQ(path.size(), 257u);
  EXPECT_TRUE(MakeDirs(path));
  EXPECT_TRUE(WriteLongFile(path + "\\in.txt", "in"));
  return name;
}
void RemoveTooDeepToList(const std::string& parent) {
  for (const std::string& name : FolderEntries(parent)) {
    if (name.size() < 200) continue;
    RemoveLong(parent + "\\" + name + "\\in.txt");
    RemoveLong(parent + "\\" + name);
  }
}

const UnlistableCase kUnlistable[] = {
    {"name outside the code page", MakeUnnamable, RemoveUnnamable},
    {"search pattern too long", MakeTooDeepToList, RemoveTooDeepToList}};

void ExpectUntouchedAfter(const std::vector<std::string>& order, const std::string& stop,
                          const std::string& source, const std::string& dest, Op op,
                          const TreeSnapshot& before, const std::string& folderRelative) {
  bool after = false;
  int beforeCount = 0, afterCount = 0;
  for (const std::string& name : order) {
    std::string rel = folderRelative.empty() ? name : folderRelative + "\\" + name;
    if (name == stop) {
      after = true;
      continue;
    }
    bool isDir = before.count(rel + "\\") > 0;
    std::string key = isDir ? rel + "\\" : rel;
    bool inSource = isDir ? DirExists(source + "\\" + rel) : FileExists(source + "\\" + rel);
    bool inDest = isDir ? DirExists(dest + "\\" + rel) : FileExists(dest + "\\" + rel);
    SCOPED_TRACE(rel);
    if (after) {
      ++afterCount;
      EXPECT_TRUE(inSource);
      EXPECT_FALSE(inDest);
      if (!isDir) {
        EXPECT_EQ(ReadFileText(source + "\\" + rel), before.at(key));
      }
    } else {
      ++beforeCount;
      EXPECT_EQ(inSource, op == kCopy);
      if (op != kDelete) {
        EXPECT_TRUE(inDest);
      }
    }
  }
  // The fixture must put entries on both sides of the stop, or this shows nothing.
  EXPECT_GT(beforeCount, 0);
  EXPECT_GT(afterCount, 0);
}

TEST(TreeUnlistable, StopsTheWalkWithFalse) {
  for (const UnlistableCase& c : kUnlistable) {
    for (Op op : {kCopy, kMove, kDelete}) {
      SCOPED_TRACE(std::string(c.what) + ", " + kOpNames[op]);
      std::string dir = FreshTestDir("tree_unlistable");
      std::string source = dir + "\\src";
      std::string dest = dir + "\\dst";
      MakeTree(source, {{"a_before\\f.txt", "f"},
                        {"m_mid\\a.txt", "a"},
                        {"m_mid\\zz.txt", "zz"},
                        {"m_mid\\ソ.txt", "so"},
                        {"z_after.txt", "z"},
                        {"zz_after\\g.txt", "g"}});
      std::string bad = c.make(source + "\\m_mid");
      TreeSnapshot before = SnapshotTree(source);
      std::vector<std::string> top = FolderEntries(source);
      std::vector<std::string> mid = FolderEntries(source + "\\m_mid");

      EXPECT_FALSE(RunOp(op, source, dest));
      ExpectUntouchedAfter(mid, bad, source, dest, op, before, "m_mid");
      ExpectUntouchedAfter(top, "m_mid", source, dest, op, before, "");
      // The folders on the way down still hold something, so they stay.
      EXPECT_TRUE(DirExists(source + "\\m_mid"));
      EXPECT_EQ(DirExists(dest), op != kDelete);
      c.remove(source + "\\m_mid");
      c.remove(dest + "\\m_mid");
    }
  }
}

// A move whose copy of a file fails keeps that file in the source, and its folders with it.
TEST(TreeMoveCopyFails, SourceFileIsKept) {
  struct Case {
    const char* what;
    bool holdOpen;  // else a folder stands where the copy would go
  } cases[] = {{"destination held open without sharing", true},
               {"a folder in the destination's place", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string dir = FreshTestDir("tree_copy_fails");
    std::string source = dir + "\\src";
    std::string dest = dir + "\\dst";
    MakeTree(source, {{"sub\\stuck.txt", "precious"}, {"sub\\fine.txt", "fine"}});
    HANDLE holder = INVALID_HANDLE_VALUE;
    if (c.holdOpen) {
      MakeTree(dest, {{"sub\\stuck.txt", "old"}});
      holder = CreateFileA((dest + "\\sub\\stuck.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
      ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    } else {
      MakeTree(dest, {{"sub\\stuck.txt\\", ""}});
    }
    EXPECT_TRUE(CopyTree(source.c_str(), dest.c_str(), "", false));
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    EXPECT_EQ(ReadFileText(source + "\\sub\\stuck.txt"), "precious");
    EXPECT_FALSE(FileExists(source + "\\sub\\fine.txt"));
    EXPECT_EQ(ReadFileText(dest + "\\sub\\fine.txt"), "fine");
    if (c.holdOpen) {
      EXPECT_EQ(ReadFileText(dest + "\\sub\\stuck.txt"), "old");
    }
  }
}

// An entry whose source or destination path needs more than 259 bytes: false, and that entry
// is neither copied, moved nor deleted. A path of exactly 259 bytes is still processed.
TEST(TreeLongPaths, EntryThatDoesNotFitIsLeftAloneWithFalse) {
  struct Case {
    const char* what;
    int sourceLength;  // of the entry's full source path
    int destLength;    // of the entry's full destination path
    bool folder;
  } cases[] = {{"both fit exactly", 259, 259, false},
               {"source path too long", 260, 250, false},
               {"destination path too long", 250, 260, false},
               {"folder's destination path too long", 250, 260, true},
               {"both far too long", 300, 300, false}};
  for (const Case& c : cases) {
    for (Op op : {kCopy, kMove, kDelete}) {
      SCOPED_TRACE(std::string(c.what) + ", " + kOpNames[op]);
      std::string dir = FreshTestDir("tree_long");
      size_t base = dir.size() + 2;  // "<dir>\s", "<dir>\d"
      size_t shorter = (size_t)(c.sourceLength < c.destLength ? c.sourceLength : c.destLength);
      size_t nameLength = shorter - base - 1 < 200 ? shorter - base - 1 : 200;
      std::string source = dir + "\\s" + std::string(c.sourceLength - base - 1 - nameLength, 's');
      std::string dest = dir + "\\d" + std::string(c.destLength - base - 1 - nameLength, 'd');
      std::string name(nameLength, c.folder ? 'F' : 'n');
      ASSERT_EQ(source.size() + 1 + name.size(), (size_t)c.sourceLength);
      ASSERT_EQ(dest.size() + 1 + name.size(), (size_t)c.destLength);
      MakeTree(source, {{"a.txt", "a"}});
      std::string entry = source + "\\" + name;
      ASSERT_TRUE(c.folder ? MakeLongDir(entry) : WriteLongFile(entry, "long"));
      if (c.folder) {
        ASSERT_TRUE(WriteLongFile(entry + "\\x", "x"));
      }

      bool fits = c.sourceLength <= 259 && (op == kDelete || c.destLength <= 259);
      EXPECT_EQ(RunOp(op, source, dest), fits);
      EXPECT_EQ(LongExists(entry), !fits || op == kCopy);
      if (op != kDelete) {
        EXPECT_EQ(LongExists(dest + "\\" + name), fits);
      }
      RemoveLong(entry + "\\x");
      RemoveLong(entry);
      RemoveLong(dest + "\\" + name);
    }
  }
}

// A link made on the Unix side to a folder outside the tree is not followed: it is neither
// copied nor moved nor emptied, and nothing outside changes.
TEST(TreeLinks, NothingOutsideTheTreeIsTouched) {
  const char* fixture = getenv("TAVREL_LINK_FIXTURE");
  ASSERT_NE(fixture, nullptr);
  std::string root = WindowsPathOf(fixture);
  std::string outside = root + "\\outside";
  ASSERT_EQ(GetFileAttributesA((root + "\\copy\\src\\outlink").c_str()) &
                FILE_ATTRIBUTE_REPARSE_POINT,
            (DWORD)FILE_ATTRIBUTE_REPARSE_POINT);
  TreeSnapshot outsideBefore = SnapshotTree(outside);
  ASSERT_EQ(outsideBefore.size(), 3u);
  for (Op op : {kCopy, kMove, kDelete}) {
    SCOPED_TRACE(kOpNames[op]);
    std::string source = root + "\\" + kOpNames[op] + "\\src";
    std::string dest = root + "\\" + kOpNames[op] + "\\dst";
    EXPECT_TRUE(RunOp(op, source, dest));
    EXPECT_EQ(SnapshotTree(outside), outsideBefore);
    // The link itself stays where it was, and so does its folder.
    EXPECT_TRUE(DirExists(source + "\\outlink"));
    EXPECT_TRUE(FileExists(source + "\\outlink\\deep\\k.txt"));
    EXPECT_EQ(FileExists(source + "\\a.txt"), op == kCopy);
    EXPECT_EQ(DirExists(source + "\\inner"), op == kCopy);
    if (op != kDelete) {
      EXPECT_FALSE(DirExists(dest + "\\outlink"));
      EXPECT_EQ(ReadFileText(dest + "\\a.txt"), "a");
      EXPECT_EQ(ReadFileText(dest + "\\inner\\b.txt"), "b");
    }
  }
}

}  // namespace
