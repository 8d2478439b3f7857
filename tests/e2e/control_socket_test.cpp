// The recorder's control socket from outside: pvtool beside a running headless recorder.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <string>

#include <nlohmann/json.hpp>

#include "control/socket_path.h"
#include "e2e/headless_recorder.h"
#include "engine/recording_files.h"

namespace parvolin::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Two short calls that end at once, and a long one that is still recording while the test runs.
constexpr const char* kCalls =
    "unit PV0001\n"
    "0.5 1/1 ring\n"
    "+0.2 1/1 callerid A 5551234\n"
    "+0.3 1/1 answer\n"
    "+0 1/1 talk 1 speech:1\n"
    "+1 1/1 callend 5551234\n"
    "0.5 1/2 dialout 110\n"
    "+0.5 1/2 talk 1 speech:2\n"
    "+1 1/2 calloutend 110\n"
    "3 1/3 ring\n"
    "+0.3 1/3 answer\n"
    "+0 1/3 talk 120 speech:3\n"
    "+120 1/3 callend 777\n";

class ControlSocket : public HeadlessRecorder {
 protected:
  std::map<std::string, std::string> runEnv() const {
    auto all = env();
    all["XDG_RUNTIME_DIR"] = runtime().string();
    all["RUNTIME_DIRECTORY"] = "";
    return all;
  }
  fs::path runtime() const { return root_ / "runtime"; }
  int pvtool(const std::vector<std::string>& args, std::string& out, std::string& err) {
    ProgramRun run(kPvtool, args, runEnv(), work(), root_ / "pvtool-out.txt",
                   root_ / "pvtool-err.txt");
    const int status = run.wait();
    out = run.output();
    err = run.errors();
    return status;
  }
};

TEST_F(ControlSocket, PvtoolDeletesAndExportsWhileTheRecorderRecords) {
  fs::create_directories(runtime());
  ::chmod(runtime().c_str(), 0700);
  const auto scenario = writeScenario("calls.scn", kCalls);
  ProgramRun recorder(kParvolin,
                      {"--headless", "--simulate=" + scenario.string(), "--config",
                       (work() / "p.conf").string(), "--folder", "rec"},
                      runEnv(), work(), root_ / "out.txt", root_ / "err.txt");
  ASSERT_TRUE(recorder.started());
  const fs::path folder = work() / "rec";
  ASSERT_TRUE(waitUntil([&] { return control::socketFromLock(folder).has_value(); }, 30s))
      << recorder.errors();

  // The status as JSON, until both short calls are in the list and the long one records.
  std::string out, err;
  nlohmann::json status;
  ASSERT_TRUE(waitUntil(
      [&] {
        if (pvtool({"status", "--folder", "rec", "--json"}, out, err) != 0) return false;
        status = nlohmann::json::parse(out, nullptr, false);
        return status.is_object() && status["capacity"]["loggedItems"] == 2 &&
               status["lines"][2]["inCall"] == true;
      },
      30s))
      << out << err << recorder.errors();
  const fs::path list = status["list"].get<std::string>();
  EXPECT_EQ(list.parent_path(), fs::canonical(folder));
  // The recorder counts a kept call at once; its row reaches the file within the list's write
  // delay, and pvtool reads the file.
  ASSERT_TRUE(waitUntil([&] { return engine::firstItemNumberOfList(list) == 2; }, 30s));

  EXPECT_EQ(pvtool({"status", "--folder", "rec"}, out, err), 0) << err;
  EXPECT_NE(out.find("Port:  3"), std::string::npos) << out;
  EXPECT_NE(out.find("Logged Items: 2"), std::string::npos) << out;

  // A delete goes to the recorder, which applies it on its tick.
  const std::string listArg = "rec/" + list.filename().string();
  EXPECT_EQ(pvtool({"list", "delete", listArg, "1", "--yes"}, out, err), 0) << err;
  EXPECT_EQ(out, "deleted item 1\n");
  EXPECT_EQ(pvtool({"list", "delete", listArg, "1", "--yes"}, out, err), 1);
  EXPECT_EQ(err, "pvtool list: " + listArg + ": no item 1\n");

  // The export reads the list beside the recorder and writes only its own folder.
  EXPECT_EQ(pvtool({"batch-wav", listArg}, out, err), 0) << err;
  EXPECT_EQ(count(out, ".WAV\n"), 1u) << out;
  EXPECT_TRUE(fs::is_directory(folder / "WaveFolder00"));

  // All that while the long call records: the recorder never stopped.
  EXPECT_EQ(pvtool({"status", "--folder", "rec", "--json"}, out, err), 0) << err;
  status = nlohmann::json::parse(out, nullptr, false);
  ASSERT_TRUE(status.is_object()) << out;
  EXPECT_EQ(status["lines"][2]["inCall"], true);
  EXPECT_TRUE(status["problems"].empty()) << out;

  recorder.signal(SIGTERM);
  EXPECT_EQ(recorder.wait(), 0) << recorder.errors();
  EXPECT_FALSE(fs::exists(*control::socketFromLock(folder))) << "the socket goes with the run";
  EXPECT_EQ(pvtool({"status", "--folder", "rec"}, out, err), 1);
}

TEST_F(ControlSocket, WithoutARecorderTheListIsChangedAtOnceAsBefore) {
  fs::create_directories(runtime());
  const auto scenario = writeScenario("short.scn",
                                      "unit PV0001\n"
                                      "0.5 1/1 ring\n"
                                      "+0.3 1/1 answer\n"
                                      "+0 1/1 talk 1 silence\n"
                                      "+1 1/1 callend 5551234\n");
  ASSERT_EQ(run({"--headless", "--simulate=" + scenario.string(), "--virtual", "--config",
                 (work() / "p.conf").string(), "--folder", "rec"}),
            0)
      << errors_;
  std::string list;
  for (const auto& name : filesIn(work() / "rec")) {
    if (name.ends_with(".htm")) list = "rec/" + name;
  }
  ASSERT_FALSE(list.empty());
  std::string out, err;
  EXPECT_EQ(pvtool({"list", "edit", list, "1", "boss"}, out, err), 0) << err;
  EXPECT_EQ(out, "item 1: text changed\n");
  EXPECT_EQ(pvtool({"status", "--folder", "rec"}, out, err), 1);
  EXPECT_NE(err.find("no recorder serves"), std::string::npos) << err;
}

}  // namespace
}  // namespace parvolin::e2e
