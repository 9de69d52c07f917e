// mkupdate build --from OLD --to NEW: only what changed, and only into folders that exist.
#include <gtest/gtest.h>

#include "tests/native/mkupdate_test_support.h"

namespace {

struct DiffCase {
  const char* name;
  std::vector<std::pair<const char*, const char*>> oldFiles, newFiles;
  std::vector<const char*> oldFolders;  // empty folders of OLD
  int code;
  const char* listed;  // dry-run listing, or a part of the error output
};

void PrintTo(const DiffCase& x, std::ostream* os) { *os << x.name; }

class DiffBuild : public MkupdateTest, public ::testing::WithParamInterface<DiffCase> {};

TEST_P(DiffBuild, TakesNewAndChangedFilesOnly) {
  const DiffCase& c = GetParam();
  for (const auto& f : c.oldFiles) Put(std::string("old/") + f.first, f.second);
  for (const auto& f : c.newFiles) Put(std::string("new/") + f.first, f.second);
  for (const char* folder : c.oldFolders) fs::create_directories(Path(std::string("old/") + folder));
  fs::create_directories(Path("old"));
  fs::create_directories(Path("new"));
  std::vector<std::string> args = BaseBuild();
  auto files = std::find(args.begin(), args.end(), "--files");
  args.erase(files, files + 2);
  args.insert(args.end(), {"--from", P("old"), "--to", P("new"), "--dry-run"});
  RunResult r = RunTool(args);
  EXPECT_EQ(r.code, c.code) << r.err;
  if (c.code == 0)
    EXPECT_EQ(r.out, c.listed);
  else
    EXPECT_NE(r.err.find(c.listed), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Versions, DiffBuild,
    ::testing::Values(
        DiffCase{"unchanged_file_is_left_out",
                 {{"a.txt", "same"}, {"b.txt", "old"}},
                 {{"a.txt", "same"}, {"b.txt", "new"}},
                 {}, 0, "3  b.txt\ndry run: 1 files, 3 bytes; nothing written\n"},
        DiffCase{"same_size_other_bytes_is_taken",
                 {{"d/a.bin", "abcd"}}, {{"d/a.bin", "abce"}}, {}, 0,
                 "4  d\\a.bin\ndry run: 1 files, 4 bytes; nothing written\n"},
        DiffCase{"new_file_in_existing_folder",
                 {{"d/a.txt", "a"}}, {{"d/a.txt", "a"}, {"d/e/new.txt", "nn"}}, {"d/e"}, 0,
                 "2  d\\e\\new.txt\ndry run: 1 files, 2 bytes; nothing written\n"},
        DiffCase{"nothing_changed",
                 {{"a.txt", "a"}}, {{"a.txt", "a"}}, {}, 0,
                 "dry run: 0 files, 0 bytes; nothing written\n"},
        DiffCase{"new_folder_is_refused",
                 {{"a.txt", "a"}}, {{"a.txt", "a"}, {"maps/town.dat", "t"}}, {}, 2,
                 "file maps\\town.dat: its folder maps is not in the old version"},
        DiffCase{"new_inner_folder_is_refused",
                 {{"maps/a.dat", "a"}}, {{"maps/a.dat", "a"}, {"maps/x/b.dat", "b"}}, {}, 2,
                 "file maps\\x\\b.dat: its folder maps\\x is not in the old version"},
        DiffCase{"folder_that_was_a_file_is_refused",
                 {{"maps", "a file"}}, {{"maps/b.dat", "b"}}, {}, 2,
                 "file maps\\b.dat: its folder maps is not in the old version"}),
    [](const ::testing::TestParamInfo<DiffCase>& info) { return std::string(info.param.name); });

TEST_F(MkupdateTest, DiffBuildSaysWhichFilesItCannotRemove) {
  Put("old/gone.txt", "g");
  Put("old/kept.txt", "k");
  Put("new/kept.txt", "k2");
  std::vector<std::string> args = BaseBuild();
  auto files = std::find(args.begin(), args.end(), "--files");
  args.erase(files, files + 2);
  args.insert(args.end(), {"--from", P("old"), "--to", P("new")});
  RunResult r = RunTool(args);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("note: gone.txt is gone from the new version; an update cannot remove it"),
            std::string::npos)
      << r.err;
  RunResult list = RunTool({"list", P("out.exe")});
  EXPECT_NE(list.out.find("records:          1\n           2  kept.txt\n"), std::string::npos)
      << list.out;
}

}  // namespace
