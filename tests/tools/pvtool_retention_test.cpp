#include "tools/pvtool_retention.h"

#include <gmock/gmock.h>

#include <ctime>
#include <sstream>

#include "base/exit_status.h"
#include "engine/call_log.h"
#include "engine/html_list.h"
#include "engine/recording_files.h"
#include "settings/settings_store.h"
#include "support/expect_ok.h"
#include "support/test_files.h"

namespace parvolin::tools {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// A recording folder with a list of five calls, one a day up to yesterday, and their log.
class PvtoolRetention : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder());
    const std::int64_t now = std::time(nullptr);
    std::vector<engine::ListRowCall> calls;
    for (int i = 0; i < 5; ++i) {
      engine::CallRecord r;
      r.portIndex = std::uint8_t(i);
      r.callType = engine::kCallAnswered;
      // An hour inside each day: the call of three days ago stays three days old for the test.
      r.startTime = std::uint32_t(now - (5 - i) * 86'400 + 3'600);
      r.durationSec = 20;
      r.firstAudioSec = 1;
      ASSERT_WORKED(engine::appendCallLog(folder(), r));
      calls.push_back({r, 3, false});
      names.push_back(engine::recordingFileName(r.startTime, r.portIndex, 3, false));
      test::writeFile(folder() / names.back(), std::string(1024, 'a'));
    }
    std::int32_t rowCount = -1;
    ASSERT_WORKED(engine::appendHtmlRows(folder() / "ZEruTestNew.htm", calls, rowCount));
    store.values["ParvolinPath"] = folder().string();
    store.values["RetentionDays"] = std::int32_t(3);
  }
  fs::path folder() const { return dir / "ZEruFolder"; }
  int run(const Args& args) {
    out.str("");
    err.str("");
    const SettingsStoreOpener open = [this](const std::optional<fs::path>&) {
      auto copy = std::make_unique<settings::MemorySettingsStore>();
      copy->values = store.values;
      return copy;
    };
    return runRetentionWith(args, open, out, err);
  }

  test::TempFolder dir;
  settings::MemorySettingsStore store;
  std::vector<std::string> names;  // oldest first
  std::ostringstream out, err;
};

TEST_F(PvtoolRetention, ADryRunNamesTheCallsAndDeletesNothing) {
  EXPECT_EQ(run({"--dry-run"}), base::kExitOk) << err.str();
  EXPECT_THAT(out.str(), HasSubstr("would delete " + names[0] + "\n"));
  EXPECT_THAT(out.str(), HasSubstr("would delete " + names[1] + "\n"));
  EXPECT_THAT(out.str(), HasSubstr("Retention: 2 calls would be deleted (items 1-2), 0.0 MB"));
  for (const std::string& name : names) EXPECT_TRUE(fs::exists(folder() / name)) << name;
}

TEST_F(PvtoolRetention, APassDeletesRowsAndRecordingsAndKeepsTheCallLog) {
  EXPECT_EQ(run({}), base::kExitOk) << err.str();
  EXPECT_THAT(out.str(), HasSubstr("Retention: 2 calls deleted (items 1-2)"));
  const std::string list = test::readFile(folder() / "ZEruTestNew.htm");
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(fs::exists(folder() / names[i]), i >= 2) << i;
    EXPECT_EQ(list.find(names[i]) != std::string::npos, i >= 2) << i;
  }
  engine::CallLogContents log;
  ASSERT_WORKED(engine::readCallLog(folder() / engine::kCallLogName, log));
  EXPECT_EQ(log.records.size(), 5u);
  // A second pass finds nothing more to do.
  EXPECT_EQ(run({}), base::kExitOk);
  EXPECT_THAT(out.str(), HasSubstr("Retention: no call deleted"));
}

TEST_F(PvtoolRetention, RetentionOffDeletesNothingAndBadArgumentsAreUsageErrors) {
  store.values["RetentionDays"] = std::int32_t(0);
  EXPECT_EQ(run({}), base::kExitOk);
  EXPECT_THAT(out.str(), HasSubstr("no call deleted"));
  for (const std::string& name : names) EXPECT_TRUE(fs::exists(folder() / name));
  EXPECT_EQ(run({"--bogus"}), base::kExitUsage);
  EXPECT_THAT(err.str(), HasSubstr("unexpected '--bogus'"));
  EXPECT_EQ(run({"--help"}), base::kExitOk);
  EXPECT_THAT(out.str(), HasSubstr("usage: pvtool retention"));
}

}  // namespace
}  // namespace parvolin::tools
