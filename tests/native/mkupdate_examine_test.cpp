// mkupdate verify, list and extract on updates that are damaged or were not built by mkupdate.
#include <gtest/gtest.h>

#include "package/package_format.h"
#include "tests/native/mkupdate_test_support.h"

namespace {

PackageContents SmallPackage() {
  PackageContents c;
  c.title = "t";
  c.banner = MakeQuadrantBanner();
  c.vendorKey = "v";
  c.productKey = "p";
  c.notInstalledText = "n";
  c.records = {{"a.txt", Bytes("aaa")}, {"b\\c.txt", Bytes("cc")}};
  return c;
}

struct Damage {
  const char* name;
  void (*apply)(std::vector<uint8_t>& file);
  const char* fault;
};

void PrintTo(const Damage& damage, std::ostream* os) { *os << damage.name; }

class VerifyDamage : public MkupdateTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(VerifyDamage, FailsWithOffsetAndField) {
  std::vector<uint8_t> file = FakeStub();
  std::vector<uint8_t> package = SerializePackage(SmallPackage());
  file.insert(file.end(), package.begin(), package.end());
  GetParam().apply(file);
  WriteBytes(Path("u.exe"), file);
  for (const char* command : {"verify", "list"}) {
    RunResult r = RunTool({command, P("u.exe")});
    EXPECT_EQ(r.code, 2) << command;
    EXPECT_NE(r.err.find(GetParam().fault), std::string::npos) << command << ": " << r.err;
  }
}

// The package starts at 61440 and its banner at 61964; the banner is 230440 bytes, so the first
// record starts at 61964 + 230440 + 1041 = 293445, the second at 293445 + 264 + 3 = 293712 and
// the file ends at 293712 + 264 + 2 = 293978.
INSTANTIATE_TEST_SUITE_P(
    Files, VerifyDamage,
    ::testing::Values(
        Damage{"byte_after_last_record", [](auto& f) { f.push_back(0); },
               "offset 293978 (0x47C5A): record 3 name: the file ends inside the record header"},
        Damage{"last_record_cut", [](auto& f) { f.pop_back(); },
               "offset 293972 (0x47C54): record 2 size: the data reach past the end of the file"},
        Damage{"stub_only", [](auto& f) { f.resize(61440); },
               "offset 61440 (0xF000): title: the file ends inside this field"},
        Damage{"title_without_nul", [](auto& f) { std::fill(f.begin() + 61440, f.begin() + 61700, 'x'); },
               "offset 61440 (0xF000): title: the text has no terminating NUL"},
        Damage{"record_name_with_dot_dot",
               [](auto& f) { f[293445] = '.'; f[293446] = '.'; f[293447] = '\\'; },
               "offset 293445 (0x47A45): record 1 name: the name has a component of dots"}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

TEST_F(MkupdateTest, VerifyAcceptsAPackageFromTheInMemoryWriter) {
  std::vector<uint8_t> stub = FakeStub();
  ASSERT_TRUE(WriteUpdateProgram(P("u.exe"), stub, SmallPackage()));
  RunResult r = RunTool({"verify", P("u.exe")});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, P("u.exe") + ": valid: package at offset 61440, banner 230440 bytes, 2 records\n");
}

TEST_F(MkupdateTest, ExtractSplitsNamesByCharacterNotByByte) {
  PackageContents c = SmallPackage();
  c.records = {{"\x83\x5C\\\x95\x5C.txt", Bytes("so hyou")}};  // ソ\表.txt: both end in 0x5C
  ASSERT_TRUE(WriteUpdateProgram(P("u.exe"), FakeStub(), c));
  RunResult r = RunTool({"extract", P("u.exe"), P("x")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadBytes(Path("x/files/ソ/表.txt")), Bytes("so hyou"));
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("x/files")), fs::directory_iterator()), 1);
}

TEST_F(MkupdateTest, ExtractRefusesAPackageWhoseNamesLeaveTheFolder) {
  PackageContents c = SmallPackage();
  c.records = {{"..\\escaped.txt", Bytes("x")}};
  ASSERT_TRUE(WriteUpdateProgram(P("u.exe"), FakeStub(), c));
  RunResult r = RunTool({"extract", P("u.exe"), P("x/inner")});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("record 1 name: the name has a component of dots"), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(Path("x/escaped.txt")));
  EXPECT_FALSE(fs::exists(Path("x/inner")));
}

TEST_F(MkupdateTest, ExtractWantsAnEmptyFolder) {
  ASSERT_TRUE(WriteUpdateProgram(P("u.exe"), FakeStub(), SmallPackage()));
  Put("x/keep.txt", "mine");
  RunResult r = RunTool({"extract", P("u.exe"), P("x")});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("not empty"), std::string::npos) << r.err;
  EXPECT_EQ(ReadBytes(Path("x/keep.txt")), Bytes("mine"));
}

TEST_F(MkupdateTest, ListShowsTextsThatAreNotCp932AsBytes) {
  PackageContents c = SmallPackage();
  c.title = "ok\x83";  // a lead byte at the end
  ASSERT_TRUE(WriteUpdateProgram(P("u.exe"), FakeStub(), c));
  RunResult r = RunTool({"list", P("u.exe")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("title:            ok\\x83\n"), std::string::npos) << r.out;
}

}  // namespace
