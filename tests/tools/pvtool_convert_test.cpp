#include "tools/pvtool_convert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace parvolin::tools {
namespace {

namespace fs = std::filesystem;
using parvolin::test::readBytes;
using parvolin::test::TempFolder;
using parvolin::test::writeBytes;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome convert(const Args& args, bool terminal = false) {
  std::ostringstream out, err;
  const int status = runConvertWith(args, out, err, terminal);
  return {status, out.str(), err.str()};
}

class PvtoolConvert : public ::testing::Test {
 protected:
  fs::path file(const std::string& name, std::size_t bytes = 512) {
    const fs::path p = dir.path() / name;
    writeBytes(p, std::vector<std::uint8_t>(bytes, 0x81));
    return p;
  }
  std::uintmax_t size(const fs::path& p) { return fs::file_size(p); }
  TempFolder dir;
};

TEST_F(PvtoolConvert, WritesBesideTheInputInAnyExtensionCase) {
  const auto a = file("a.LV2", 5120);
  const auto b = file("b.lv0", 100);
  const Outcome r = convert({a.string(), b.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(size(dir.path() / "a.wav"), 44u + 13600u);
  EXPECT_EQ(size(dir.path() / "b.wav"), 144u);
  EXPECT_NE(r.out.find("a.wav"), std::string::npos);
  EXPECT_EQ(r.err.find("a.LV2"), std::string::npos) << r.err;
}

// Recordings are whole 512-byte blocks: anything else is converted, but with a warning.
TEST_F(PvtoolConvert, WarnsOfAnEmptyFileOrABlockCutShortAndStillConverts) {
  struct Case {
    std::size_t bytes;
    const char* warning;  // null: none
  };
  const Case cases[] = {
      {0, "warning: empty recording"},
      {1, "warning: 1 bytes, not a whole number of 512-byte blocks (the last 1 bytes"},
      {777, "warning: 777 bytes, not a whole number of 512-byte blocks (the last 265 bytes"},
      {1024, nullptr},
  };
  for (const Case& c : cases) {
    const auto lv = file("r" + std::to_string(c.bytes) + ".LV3", c.bytes);
    const Outcome r = convert({lv.string()});
    EXPECT_EQ(r.status, 0) << c.bytes << r.err;
    EXPECT_TRUE(fs::exists(fs::path(lv).replace_extension(".wav"))) << c.bytes;
    if (c.warning) {
      EXPECT_NE(r.err.find(lv.filename().string() + ": " + c.warning), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(r.err, "");
    }
  }
}

TEST_F(PvtoolConvert, BadFilesAreNamedAndTheOthersStillConverted) {
  const auto text = file("notes.txt");
  const auto good = file("c.LV3");
  const Outcome r = convert({text.string(), (dir.path() / "gone.LV1").string(), good.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("notes.txt: not an LV recording"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("gone.LV1: cannot read"), std::string::npos) << r.err;
  EXPECT_EQ(size(dir.path() / "c.wav"), 556u);
  EXPECT_FALSE(fs::exists(dir.path() / "notes.wav"));
}

TEST_F(PvtoolConvert, ExistingOutputNeedsForce) {
  const auto a = file("a.LV1", 2);
  writeBytes(dir.path() / "a.s16", {7});
  Outcome r = convert({"--raw16", a.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("exists"), std::string::npos) << r.err;
  EXPECT_EQ(readBytes(dir.path() / "a.s16"), std::vector<std::uint8_t>{7});

  r = convert({"--force", "--raw16", a.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(size(dir.path() / "a.s16"), 16u);  // 8 samples of 16 bits

  // Two inputs that would write the same output: the second is refused.
  const auto a2 = file("a.LV2", 2);
  r = convert({"--force", "--raw16", a.string(), a2.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("a.LV2: the output"), std::string::npos) << r.err;
}

TEST_F(PvtoolConvert, OutputNamesAFileForOneInputAndAFolderForSeveral) {
  const auto a = file("a.LV0");
  const auto b = file("b.LV3");
  Outcome r = convert({"-o", (dir.path() / "one.wav").string(), a.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(size(dir.path() / "one.wav"), 556u);

  r = convert({"--dava", "2", "-o", (dir.path() / "out").string(), a.string(), b.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(size(dir.path() / "out" / "a.wav"), 556u);
  EXPECT_EQ(size(dir.path() / "out" / "b.wav"), 556u);

  r = convert({"-o", (dir.path() / "one.wav").string(), a.string(), b.string()});
  EXPECT_EQ(r.status, 2);

  // A trailing separator names a folder, made when missing, also for one input.
  r = convert({"-o", (dir.path() / "new").string() + "/", a.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(size(dir.path() / "new" / "a.wav"), 556u);

  r = convert({"--force", "-o", a.string(), a.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(size(a), 512u) << "the recording itself is never the output";
}

TEST_F(PvtoolConvert, UsageErrors) {
  const auto a = file("a.LV0");
  for (const Args& args : {Args{}, Args{"--dava", "3", a.string()}, Args{"--dava"},
                           Args{"--bogus", a.string()}, Args{"--raw16", "--dava=1", a.string()}}) {
    const Outcome r = convert(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: pvtool convert"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(dir.path() / "a.wav"));
  EXPECT_EQ(convert({"--help"}).status, 0);
}

TEST_F(PvtoolConvert, ProgressOnlyForLongBatchesOnATerminal) {
  Args many;
  for (int i = 0; i < 8; ++i) many.push_back(file("f" + std::to_string(i) + ".LV0", 512).string());
  Outcome r = convert(many, true);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("[8/8]"), std::string::npos);

  r = convert({"--force", many[0]}, true);
  EXPECT_EQ(r.err.find("[1/1]"), std::string::npos);
  many.insert(many.begin(), "--force");
  r = convert(many, false);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.err.empty());
}

}  // namespace
}  // namespace parvolin::tools
