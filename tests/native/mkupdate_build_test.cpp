// mkupdate build: what it writes, and every update it refuses to write.
#include <gtest/gtest.h>

#include <algorithm>

#include "package/package_format.h"
#include "tests/native/mkupdate_test_support.h"
#include "tools/mkupdate/banner_convert.h"
#include "tools/mkupdate/build.h"
#include "tools/mkupdate/examine.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Sets an option's value in an argument list, adding the option when it is not there.
void Set(std::vector<std::string>& args, const std::string& option, const std::string& value) {
  auto it = std::find(args.begin(), args.end(), option);
  if (it != args.end()) *(it + 1) = value;
  else args.insert(args.end(), {option, value});
}

void Remove(std::vector<std::string>& args, const std::string& option) {
  auto it = std::find(args.begin(), args.end(), option);
  if (it != args.end()) args.erase(it, it + 2);
}

// Replaces the folder of files by an explicit list of SOURCE=NAME items.
void UseList(std::vector<std::string>& args, const std::vector<std::string>& items) {
  Remove(args, "--files");
  for (const std::string& item : items) args.insert(args.end(), {"--file", item});
}

class BuildTest : public MkupdateTest {};

struct Refusal;
void PrintTo(const Refusal& refusal, std::ostream* os);

TEST_F(BuildTest, WritesTheStubAndThePackageByteForByte) {
  Put("files/ソフト/表.txt", "0x5C trail bytes");
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary += (char)(i * 31);
  Put("files/data/big.bin", binary);
  std::vector<std::string> args = BaseBuild();
  args.push_back("--save-warning");
  RunResult r = RunTool(args);
  ASSERT_EQ(r.code, 0) << r.err;

  PackageContents expected;
  expected.title = "\x83\x65\x83\x58\x83\x67";  // テスト
  expected.version = "1.02";
  std::string problem;
  ASSERT_TRUE(ConvertBanner(ReadBytes(Path("banner.png")), BannerFit::kExact, &expected.banner,
                            &problem));
  expected.vendorKey = "Tavrel";
  expected.productKey = "Game";
  expected.installedText = "\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x8D\xCF\x82\xDD";
  expected.notInstalledText =
      "\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC"
      "\x82\xB9\x82\xF1";
  expected.saveWarning = 1;
  // byte order of the UTF-8 names: "data\big.bin" < "data\level1.dat" < "readme.txt" < "ソ..."
  expected.records = {{"data\\big.bin", Bytes(binary)},
                      {"data\\level1.dat", Bytes(std::string(3000, 'L'))},
                      {"readme.txt", Bytes("read me\r\n")},
                      {"\x83\x5C\x83\x74\x83\x67\\\x95\x5C.txt", Bytes("0x5C trail bytes")}};
  std::vector<uint8_t> want = FakeStub();
  std::vector<uint8_t> package = SerializePackage(expected);
  want.insert(want.end(), package.begin(), package.end());
  std::vector<uint8_t> got = ReadBytes(Path("out.exe"));
  ASSERT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);

  std::string fault;
  uint32_t records = 0;
  EXPECT_TRUE(CheckUpdateFile(Path("out.exe"), kPackageOffset, &fault, &records)) << fault;
  EXPECT_EQ(records, 4u);
}

TEST_F(BuildTest, ListAndExtractGiveBackTheTextsAndBytes) {
  Put("files/ソフト/表.txt", "trail");
  ASSERT_EQ(RunTool(BaseBuild()).code, 0);

  RunResult list = RunTool({"list", P("out.exe")});
  ASSERT_EQ(list.code, 0) << list.err;
  for (const char* line : {"title:            テスト\n", "version:          1.02\n",
                           "banner:           230440 bytes, 320 x 240, 24 bits per pixel\n",
                           "vendorKey:        Tavrel\n", "productKey:       Game\n",
                           "installedText:    インストール済み\n",
                           "notInstalledText: インストールされていません\n",
                           "saveWarning:      0 (save data stay usable)\n",
                           "records:          3\n", "        3000  data\\level1.dat\n",
                           "           9  readme.txt\n", "           5  ソフト\\表.txt\n",
                           "data:             3014 bytes\n"})
    EXPECT_TRUE(Contains(list.out, line)) << "missing: " << line << "in:\n" << list.out;

  RunResult extract = RunTool({"extract", P("out.exe"), P("x")});
  ASSERT_EQ(extract.code, 0) << extract.err;
  EXPECT_EQ(ReadBytes(Path("x/files/readme.txt")), ReadBytes(Path("files/readme.txt")));
  EXPECT_EQ(ReadBytes(Path("x/files/data/level1.dat")), ReadBytes(Path("files/data/level1.dat")));
  EXPECT_EQ(ReadBytes(Path("x/files/ソフト/表.txt")), Bytes("trail"));
  std::vector<uint8_t> banner;
  std::string problem;
  ASSERT_TRUE(ConvertBanner(ReadBytes(Path("banner.png")), BannerFit::kExact, &banner, &problem));
  EXPECT_EQ(ReadBytes(Path("x/banner.bmp")), BmpFileFromDib(banner));

  // The extracted manifest builds the same update again.
  RunResult again = RunTool({"build", "-q", "-m", P("x/manifest.json"), "--stub", P("stub.exe"),
                             "-o", P("again.exe")});
  ASSERT_EQ(again.code, 0) << again.err;
  EXPECT_TRUE(ReadBytes(Path("again.exe")) == ReadBytes(Path("out.exe")));
}

TEST_F(BuildTest, ManifestGivesEveryFieldAndOptionsOverrideIt) {
  Put("m/manifest.json", R"({
    "title": "From manifest", "version": "2.0", "banner": "../banner.png",
    "vendorKey": "V", "productKey": "P", "installedText": "in", "notInstalledText": "out",
    "saveWarning": true, "files": [{"source": "../files/readme.txt", "name": "doc\\r.txt"}],
    "stub": "../stub.exe", "output": "../m.exe"
  })");
  RunResult r = RunTool({"build", "-q", "-m", P("m/manifest.json"), "--title", "Override"});
  ASSERT_EQ(r.code, 0) << r.err;
  RunResult list = RunTool({"list", P("m.exe")});
  EXPECT_TRUE(Contains(list.out, "title:            Override\n")) << list.out;
  EXPECT_TRUE(Contains(list.out, "version:          2.0\n")) << list.out;
  EXPECT_TRUE(Contains(list.out, "saveWarning:      1")) << list.out;
  EXPECT_TRUE(Contains(list.out, "           9  doc\\r.txt\n")) << list.out;
  EXPECT_TRUE(Contains(list.out, "records:          1\n")) << list.out;
}

TEST_F(BuildTest, FolderFilesComeInByteOrderOfTheirNames) {
  fs::remove_all(Path("files"));
  for (const char* name : {"files/ア.txt", "files/a/z.txt", "files/a.txt", "files/_x", "files/B.txt"})
    Put(name, "x");
  std::vector<std::string> args = BaseBuild();
  args.push_back("--dry-run");
  RunResult r = RunTool(args);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "1  B.txt\n1  _x\n1  a.txt\n1  a\\z.txt\n1  ア.txt\n"
                   "dry run: 5 files, 5 bytes; nothing written\n");
  EXPECT_FALSE(fs::exists(Path("out.exe")));
}

TEST_F(BuildTest, DryRunNeedsNoOutput) {
  std::vector<std::string> args = BaseBuild();
  Remove(args, "-o");
  args.push_back("--dry-run");
  RunResult r = RunTool(args);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "3000  data\\level1.dat\n9  readme.txt\ndry run: 2 files, 3009 bytes; nothing written\n");
}

TEST_F(BuildTest, AnUpdateWithoutFilesIsValid) {
  std::vector<std::string> args = BaseBuild();
  Remove(args, "--files");
  RunResult r = RunTool(args);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "the update holds no files"));
  RunResult verify = RunTool({"verify", P("out.exe")});
  EXPECT_EQ(verify.code, 0) << verify.err;
  EXPECT_TRUE(Contains(verify.out, "0 records"));
}

// ---- refusals ------------------------------------------------------------------------------

struct Refusal {
  const char* name;
  void (*change)(std::vector<std::string>& args, const fs::path& root);
  const char* message;  // part of the error output
};

class BuildRefusal : public MkupdateTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(BuildRefusal, WritesNothingAndSaysWhy) {
  WriteBytes(Path("out.exe"), Bytes("the older update"));
  std::vector<std::string> args = BaseBuild();
  GetParam().change(args, root_);
  RunResult r = RunTool(args);
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(Contains(r.err, GetParam().message)) << r.err;
  EXPECT_TRUE(Contains(r.err, "nothing written")) << r.err;
  EXPECT_EQ(ReadBytes(Path("out.exe")), Bytes("the older update"));
  for (const auto& entry : fs::directory_iterator(root_))
    EXPECT_FALSE(Contains(entry.path().filename().string(), ".mkupdate-")) << entry.path();
}

void PutFile(const fs::path& root, const std::string& relative, const std::string& contents) {
  WriteBytes(root / fs::u8path(relative), Bytes(contents));
}

void PrintTo(const Refusal& refusal, std::ostream* os) { *os << refusal.name; }
void PrintTo(const struct Usage& usage, std::ostream* os);

std::string RefusalName(const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; }

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Limits, BuildRefusal,
    ::testing::Values(
        Refusal{"title_259_plus_1",
                [](auto& a, auto&) { Set(a, "--title", std::string(260, 't')); },
                "title: 260 bytes in CP932; the limit is 259"},
        Refusal{"title_counted_in_cp932_bytes",
                [](auto& a, auto&) { Set(a, "--title", Repeat("ア", 130)); },
                "title: 260 bytes in CP932; the limit is 259"},
        Refusal{"installed_text_too_long",
                [](auto& a, auto&) { Set(a, "--installed-text", std::string(260, 'i')); },
                "installedText: 260 bytes in CP932; the limit is 259"},
        Refusal{"title_and_version",
                [](auto& a, auto&) {
                  Set(a, "--title", std::string(200, 't'));
                  Set(a, "--version", std::string(54, 'v'));
                },
                "title + version: 254 bytes in CP932; together they may have 253"},
        Refusal{"vendor_and_product",
                [](auto& a, auto&) {
                  Set(a, "--vendor-key", std::string(125, 'v'));
                  Set(a, "--product-key", std::string(125, 'p'));
                },
                "vendorKey + productKey: 250 bytes in CP932; together they may have 249"},
        Refusal{"unmappable_title", [](auto& a, auto&) { Set(a, "--title", "Game 😀"); },
                "title: U+1F600 '😀' has no CP932 form"},
        Refusal{"unmappable_status_text",
                [](auto& a, auto&) { Set(a, "--not-installed-text", "¥"); },
                "notInstalledText: U+00A5 '¥' has no CP932 form"},
        Refusal{"empty_title", [](auto& a, auto&) { Set(a, "--title", ""); },
                "title: must not be empty"},
        Refusal{"empty_vendor_key", [](auto& a, auto&) { Set(a, "--vendor-key", ""); },
                "vendorKey: must not be empty"},
        Refusal{"empty_not_installed_text",
                [](auto& a, auto&) { Set(a, "--not-installed-text", ""); },
                "notInstalledText: must not be empty"},
        Refusal{"product_key_not_a_folder_name",
                [](auto& a, auto&) { Set(a, "--product-key", "Game:2"); },
                "productKey: holds \":\", which a folder name cannot hold"},
        Refusal{"version_not_a_folder_name", [](auto& a, auto&) { Set(a, "--version", "1/2"); },
                "version: holds \"/\", which a folder name cannot hold"},
        Refusal{"max_install_path_out_of_range",
                [](auto& a, auto&) { Set(a, "--max-install-path", "258"); },
                "--max-install-path: 258 is outside 3..257"}),
    RefusalName);

INSTANTIATE_TEST_SUITE_P(
    Banner, BuildRefusal,
    ::testing::Values(
        Refusal{"missing", [](auto& a, auto& root) { Set(a, "--banner", (root / "no.png").string()); },
                "no.png: cannot be opened"},
        Refusal{"wrong_size",
                [](auto& a, auto& root) {
                  WriteBytes(root / "big.png", EncodePng(640, 480, 3));
                  Set(a, "--banner", (root / "big.png").string());
                },
                "big.png: is 640 x 480 pixels; a banner must be 320 x 240"},
        Refusal{"absent", [](auto& a, auto&) { Remove(a, "--banner"); },
                "banner: no picture given"}),
    RefusalName);

INSTANTIATE_TEST_SUITE_P(
    Files, BuildRefusal,
    ::testing::Values(
        Refusal{"empty_file", [](auto&, auto& root) { PutFile(root, "files/empty.txt", ""); },
                "file empty.txt: empty; the updater cannot write a file of 0 bytes"},
        Refusal{"name_of_200_bytes",
                [](auto&, auto& root) { PutFile(root, "files/" + std::string(200, 'n'), "x"); },
                "the name has 200 bytes in CP932; the limit is 199"},
        Refusal{"name_over_install_folder_budget",
                [](auto&, auto& root) { PutFile(root, "files/" + std::string(199, 'n'), "x"); },
                "an install folder of 60 bytes, a backslash and the 199-byte name exceed 259"},
        Refusal{"name_over_backup_folder_budget",
                // backup folder: 60 + 1 + "Game" + "_old(1.02)" = 75 bytes; 75 + 1 + 184 > 259
                [](auto&, auto& root) { PutFile(root, "files/" + std::string(184, 'n'), "x"); },
                "the backup folder (up to 75 bytes for an install folder of 60 bytes), a "
                "backslash and the 184-byte name exceed 259"},
        Refusal{"budget_follows_max_install_path",
                [](auto& a, auto& root) {
                  Set(a, "--max-install-path", "100");
                  PutFile(root, "files/" + std::string(144, 'n'), "x");
                },
                "the backup folder (up to 115 bytes for an install folder of 100 bytes)"},
        Refusal{"unmappable_name", [](auto&, auto& root) { PutFile(root, "files/😀.txt", "x"); },
                "file 😀.txt: the name U+1F600 '😀' has no CP932 form"},
        Refusal{"dot_dot",
                [](auto& a, auto& root) {
                  UseList(a, {(root / "files/readme.txt").string() + "=..\\readme.txt"});
                },
                "file ..\\readme.txt: the name has a component of dots"},
        Refusal{"drive", [](auto& a, auto& root) {
                  UseList(a, {(root / "files/readme.txt").string() + "=C:\\readme.txt"});
                },
                "file C:\\readme.txt: the name carries a drive or stream colon"},
        Refusal{"leading_backslash", [](auto& a, auto& root) {
                  UseList(a, {(root / "files/readme.txt").string() + "=\\readme.txt"});
                },
                "file \\readme.txt: the name is absolute"},
        Refusal{"wildcard", [](auto& a, auto& root) {
                  UseList(a, {(root / "files/readme.txt").string() + "=read*.txt"});
                },
                "file read*.txt: the name holds a character Windows does not allow in file names"},
        Refusal{"device_name", [](auto& a, auto& root) {
                  UseList(a, {(root / "files/readme.txt").string() + "=data\\con.txt"});
                },
                "file data\\con.txt: the name has a component that is a device name"},
        Refusal{"trailing_dot", [](auto& a, auto& root) {
                  UseList(a, {(root / "files/readme.txt").string() + "=data.\\a.txt"});
                },
                "file data.\\a.txt: a name component ends with a dot or a space"},
        Refusal{"same_name_in_other_case",
                [](auto& a, auto& root) {
                  std::string src = (root / "files/readme.txt").string();
                  UseList(a, {src + "=Readme.txt", src + "=README.TXT"});
                },
                "file README.TXT: names the same file as Readme.txt (Windows ignores case)"},
        Refusal{"listed_source_missing",
                [](auto& a, auto& root) { UseList(a, {(root / "nope").string() + "=a.txt"}); },
                "nope is not a file"},
        Refusal{"folder_missing",
                [](auto& a, auto& root) { Set(a, "--files", (root / "nothing").string()); },
                "nothing: not a folder"}),
    RefusalName);

INSTANTIATE_TEST_SUITE_P(
    Stub, BuildRefusal,
    ::testing::Values(
        Refusal{"missing", [](auto& a, auto& root) { Set(a, "--stub", (root / "no.exe").string()); },
                "no.exe: not found"},
        Refusal{"one_byte_short",
                [](auto& a, auto& root) {
                  WriteBytes(root / "short.exe", FakeStub(61439));
                  Set(a, "--stub", (root / "short.exe").string());
                },
                "short.exe: 61439 bytes, shorter than the package offset 61440"},
        Refusal{"already_carries_a_package",
                [](auto& a, auto& root) {
                  WriteBytes(root / "long.exe", FakeStub(61441));
                  Set(a, "--stub", (root / "long.exe").string());
                },
                "long.exe: 61441 bytes, longer than the package offset 61440: it already "
                "carries a package (1 bytes behind the image)"},
        Refusal{"not_a_program",
                [](auto& a, auto& root) {
                  WriteBytes(root / "zeros.exe", std::vector<uint8_t>(61440, 0));
                  Set(a, "--stub", (root / "zeros.exe").string());
                },
                "zeros.exe: not a Windows program (no \"MZ\" at its start)"},
        Refusal{"offset_elsewhere",
                [](auto& a, auto&) { Set(a, "--package-offset", "4096"); },
                "stub.exe: 61440 bytes, longer than the package offset 4096"},
        Refusal{"output_is_the_stub",
                [](auto& a, auto& root) { Set(a, "-o", (root / "stub.exe").string()); },
                "is the stub itself"}),
    RefusalName);


TEST_F(BuildTest, AcceptsEveryLimitExactly) {
  std::vector<std::string> args = BaseBuild();
  Set(args, "--title", std::string(200, 't'));
  Set(args, "--version", std::string(53, 'v'));  // 253 together
  Set(args, "--vendor-key", std::string(125, 'v'));
  Set(args, "--product-key", std::string(124, 'p'));  // 249 together
  Set(args, "--installed-text", std::string(259, 'i'));
  Set(args, "--not-installed-text", Repeat("ア", 129) + "x");  // 259 bytes
  // backup folder: 60 + 1 + 124 + 6 + 53 = 244 bytes; 244 + 1 + 14 = 259
  Put("limit/" + std::string(14, 'n'), "x");
  Set(args, "--files", P("limit"));
  RunResult r = RunTool(args);
  ASSERT_EQ(r.code, 0) << r.err;
  RunResult verify = RunTool({"verify", P("out.exe")});
  EXPECT_EQ(verify.code, 0) << verify.err;

  Put("limit/" + std::string(15, 'n'), "x");  // one byte over the backup budget
  EXPECT_EQ(RunTool(args).code, 2);
}

TEST_F(BuildTest, NameBudgetBoundaryWithDefaults) {
  // backup folder 75 bytes: 183-byte names fit, 184 do not (the refusal table has 184)
  Put("files/" + std::string(183, 'n'), "x");
  RunResult r = RunTool(BaseBuild());
  EXPECT_EQ(r.code, 0) << r.err;
}

TEST_F(BuildTest, StubOfAnotherOffsetIsAcceptedWithThatOffset) {
  WriteBytes(Path("small.exe"), FakeStub(4096));
  std::vector<std::string> args = BaseBuild();
  Set(args, "--stub", P("small.exe"));
  Set(args, "--package-offset", "4096");
  ASSERT_EQ(RunTool(args).code, 0);
  EXPECT_EQ(RunTool({"verify", P("out.exe"), "--package-offset", "4096"}).code, 0);
  EXPECT_EQ(RunTool({"verify", P("out.exe")}).code, 2);
}

TEST_F(BuildTest, ReportsEveryProblemAtOnce) {
  std::vector<std::string> args = BaseBuild();
  Set(args, "--title", "");
  Set(args, "--version", "😀");
  Put("files/empty.txt", "");
  RunResult r = RunTool(args);
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(Contains(r.err, "title: must not be empty")) << r.err;
  EXPECT_TRUE(Contains(r.err, "version: U+1F600")) << r.err;
  EXPECT_TRUE(Contains(r.err, "file empty.txt: empty")) << r.err;
  EXPECT_TRUE(Contains(r.err, "nothing written (3 problems)")) << r.err;
}

TEST_F(BuildTest, AFileThatChangesDuringTheWriteLeavesNoUpdate) {
  BuildRequest request;
  request.title = "t";
  request.vendorKey = "v";
  request.productKey = "p";
  request.notInstalledText = "n";
  request.banner = Path("banner.png");
  request.stub = Path("stub.exe");
  request.fileSource = FileSource::kFolder;
  request.folder = Path("files");
  request.output = Path("out.exe");
  BuildPlan plan;
  std::vector<std::string> problems;
  ASSERT_TRUE(PlanBuild(request, &plan, &problems));
  Put("files/readme.txt", "shorter");  // after the check, before the write
  std::ostringstream progressText;
  Progress progress(progressText, false, true);
  std::string problem;
  EXPECT_FALSE(WriteUpdate(plan, Path("out.exe"), &progress, &problem));
  EXPECT_TRUE(Contains(problem, "file readme.txt:")) << problem;
  EXPECT_TRUE(Contains(problem, "changed size while the update was written")) << problem;
  EXPECT_FALSE(fs::exists(Path("out.exe")));
  for (const auto& entry : fs::directory_iterator(root_))
    EXPECT_FALSE(Contains(entry.path().filename().string(), ".mkupdate-")) << entry.path();
}

TEST_F(BuildTest, ProgressIsOneLineARecordWhenNotATerminal) {
  std::vector<std::string> args = BaseBuild();
  args.erase(std::find(args.begin(), args.end(), "-q"));
  RunResult r = RunTool(args);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "record 1/2: data\\level1.dat (3000 bytes)\nrecord 2/2: readme.txt (9 bytes)\n");
  EXPECT_TRUE(Contains(r.out, "wrote ")) << r.out;
}

// ---- usage ---------------------------------------------------------------------------------

struct Usage {
  const char* name;
  std::vector<std::string> args;
  const char* message;
};

void PrintTo(const Usage& usage, std::ostream* os) { *os << usage.name; }

class BuildUsage : public ::testing::TestWithParam<Usage> {};

TEST_P(BuildUsage, ExitsWithOne) {
  RunResult r = RunTool(GetParam().args);
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Contains(r.err, GetParam().message)) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, BuildUsage,
    ::testing::Values(
        Usage{"no_command", {}, "A subcommand is required"},
        // --files excludes both; CLI11 keeps the excluded options in a set ordered by address,
        // so which of the two it names depends on the heap (it differs in a whole-suite run)
        Usage{"folder_and_diff", {"build", "--files", "a", "--from", "b", "--to", "c"},
              "--files excludes --"},
        Usage{"from_without_to", {"build", "--from", "b"}, "--from requires --to"},
        Usage{"list_item_without_name", {"build", "-o", "x", "--file", "a.txt"},
              "--file a.txt: expected SOURCE=NAME"},
        Usage{"no_output", {"build", "--title", "t"}, "no output file"},
        Usage{"unknown_fit", {"build", "--banner-fit", "stretch"}, "--banner-fit"},
        Usage{"both_save_warning_flags", {"build", "--save-warning", "--no-save-warning"},
              "--save-warning excludes --no-save-warning"},
        Usage{"list_without_update", {"list"}, "update is required"},
        Usage{"extract_without_dir", {"extract", "u.exe"}, "dir is required"}),
    [](const ::testing::TestParamInfo<Usage>& info) { return std::string(info.param.name); });

TEST(BuildHelp, EveryCommandHasHelp) {
  for (const char* command : {"build", "list", "verify", "extract"}) {
    RunResult r = RunTool({command, "--help"});
    EXPECT_EQ(r.code, 0) << command;
    EXPECT_TRUE(Contains(r.out, std::string("Usage: mkupdate ") + command)) << r.out;
  }
}

}  // namespace
