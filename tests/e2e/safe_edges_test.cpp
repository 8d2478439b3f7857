// The programs at the edges of what they were made for, as a new user or an office operator
// drives them: list commands pointed at copies, documents and files that are no list; a replay
// into a folder that holds calls; settings files and folders that cannot be used, and hand-edited
// values; a disk that fills up. Each run either does what was asked or refuses with a message
// and a status that says so, and destroys nothing it was not asked to.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "e2e/headless_recorder.h"
#include "engine/call_log.h"

namespace parvolin::e2e {
namespace {

namespace fs = std::filesystem;

// Three answered calls and one unanswered, on two ports.
constexpr const char* kCalls =
    "unit PV1\n"
    "1 1/1 ring\n2 1/1 answer\n2 1/1 talk 2\n5 1/1 callend 5551111\n"
    "1 1/2 ring\n2 1/2 answer\n2 1/2 talk 3\n6 1/2 callend 5552222\n"
    "8 1/1 ring\n10 1/1 callend 5553333\n"
    "12 1/2 ring\n13 1/2 answer\n13 1/2 talk 2\n16 1/2 callend 5554444\n";
constexpr std::size_t kCallCount = 4;

class SafeEdges : public HeadlessRecorder {
 protected:
  struct Result {
    int status;
    std::string out, err;
  };
  Result pvtool(const std::vector<std::string>& args) {
    ProgramRun tool(kPvtool, args, env(), work(), root_ / "t-out.txt", root_ / "t-err.txt");
    const int status = tool.wait();
    return {status, tool.output(), tool.errors()};
  }
  // A recording folder `rec` with the calls above, its list and its log.
  void record(const std::string& folder = "rec") {
    const auto scenario = writeScenario("calls.scn", kCalls);
    ASSERT_EQ(run({"--headless", "--simulate=" + scenario.string(), "--virtual", "--config",
                   "p.conf", "--folder", folder}),
              0)
        << errors_;
    ASSERT_EQ(callLog(work() / folder).size(), kCallCount);
  }
  fs::path list() const { return work() / "rec" / "ZEruTestNew.htm"; }
  std::string read(const fs::path& file) const { return ProgramRun::readAll(file); }
  // The rows of a list file as written: "<tr><td>" at the start of a line.
  static std::size_t rows(const std::string& list) {
    return count(list, "\n<tr><td>") + (list.starts_with("<tr><td>") ? 1 : 0);
  }
  // Runs `script` (sh) as the root of a private mount namespace in work(), with a tmpfs of
  // `size` at work()/disk; the recorder is $P. False when the system offers no such namespace.
  bool inPrivateMounts(const std::string& size, const std::string& script) {
    fs::create_directories(work() / "disk");
    const std::string all = "mount -t tmpfs -o size=" + size + " tmpfs disk && P='" +
                            kParvolin.string() + "' && " + script;
    ProgramRun shell("/usr/bin/unshare", {"-rm", "sh", "-c", all}, env(), work(),
                     root_ / "sh-out.txt", root_ / "sh-err.txt");
    return shell.wait() == 0;
  }
  static bool privateMountsWork() {
    if (!fs::exists("/usr/bin/unshare")) return false;
    parvolin::test::TempFolder dir;
    ProgramRun probe("/usr/bin/unshare", {"-rm", "sh", "-c", "mount -t tmpfs tmpfs ."}, {},
                     dir.path(), dir / "out", dir / "err");
    return probe.wait() == 0;
  }
  // Every file of a folder with its bytes.
  static std::map<std::string, std::string> contents(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const std::string& name : filesIn(folder)) {
      if (fs::is_regular_file(folder / name)) files[name] = ProgramRun::readAll(folder / name);
    }
    return files;
  }
};

TEST_F(SafeEdges, ListCommandsChangeOnlyARecordingFoldersOwnListAndAskBeforeDeleting) {
  record();
  // A copy in a documents folder, beside someone's work.
  fs::create_directories(work() / "docs");
  fs::copy_file(list(), work() / "docs" / "c.htm");
  std::ofstream(work() / "docs" / "thesis.odt") << "three years of work";
  ASSERT_EQ(pvtool({"list", "sort-port", list().string()}).status, 0);
  const fs::path find = work() / "rec" / "ZEruTestNewFind.htm";
  ASSERT_TRUE(fs::exists(find));
  const auto docs = contents(work() / "docs");
  const auto rec = contents(work() / "rec");

  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::vector<Case> refused = {
      {{"list", "delete", "docs/c.htm", "4", "--to", "1", "--yes"}, "not a recording folder's"},
      {{"list", "delete-all", "docs/c.htm", "--yes"}, "not a recording folder's"},
      {{"list", "sort-duration", "docs/c.htm"}, "not a recording folder's"},
      {{"list", "delete-all", find.string(), "--yes"}, "a search or edit copy"},
      {{"list", "delete", find.string(), "4", "--to", "1", "--yes"}, "a search or edit copy"},
      {{"list", "edit", find.string(), "1", "X"}, "a search or edit copy"},
      // Not on a terminal, a delete needs --yes.
      {{"list", "delete", list().string(), "1"}, "give --yes"},
      {{"list", "delete-all", list().string()}, "give --yes"},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.args[1] + " " + c.args[2]);
    const Result r = pvtool(c.args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(contents(work() / "docs"), docs);
    EXPECT_EQ(contents(work() / "rec"), rec);
  }

  // The list itself, with --yes: the delete goes through.
  const Result deleted = pvtool({"list", "delete", list().string(), "1", "--yes"});
  EXPECT_EQ(deleted.status, 0) << deleted.err;
  EXPECT_EQ(rows(read(list())), kCallCount - 1);
}

TEST_F(SafeEdges, FilesThatAreNoListAreRefusedAndAListWithLfLineEndsIsReadWhole) {
  record();
  std::string recording;
  for (const std::string& name : filesIn(work() / "rec")) {
    if (name.ends_with(".LV3")) recording = (work() / "rec" / name).string();
  }
  ASSERT_FALSE(recording.empty());
  {
    std::ofstream random(work() / "rec" / "random.htm", std::ios::binary);
    for (int i = 0; i < 4000; ++i) random.put(char((i * 7919) % 251));
  }
  const auto before = contents(work() / "rec");
  const std::string log = (work() / "rec" / engine::kCallLogName).string();
  for (const std::string& file : {log, recording, (work() / "rec" / "random.htm").string()}) {
    SCOPED_TRACE(file);
    for (const char* command : {"sort-port", "sort-duration", "search"}) {
      const Result r = pvtool({"list", command, file});
      EXPECT_EQ(r.status, 2) << r.err;
      EXPECT_NE(r.err.find(file + ": not an HTML call list"), std::string::npos) << r.err;
    }
    const Result batch = pvtool({"batch-wav", file});
    EXPECT_EQ(batch.status, 2) << batch.err;
    EXPECT_NE(batch.err.find("not an HTML call list"), std::string::npos) << batch.err;
    EXPECT_EQ(contents(work() / "rec"), before) << "nothing written";
    EXPECT_FALSE(fs::exists(work() / "rec" / "WaveFolder00"));
  }

  // Saved by an editor with LF line ends: every row is read, and the result is the list's own
  // form with CR LF.
  std::string crlf = read(list());
  std::string lf;
  for (std::size_t i = 0; i < crlf.size(); ++i) {
    if (!(crlf[i] == '\r' && i + 1 < crlf.size() && crlf[i + 1] == '\n')) lf += crlf[i];
  }
  ASSERT_NE(lf, crlf);
  std::ofstream(list(), std::ios::binary | std::ios::trunc) << lf;
  const Result sorted = pvtool({"list", "sort-port", list().string()});
  ASSERT_EQ(sorted.status, 0) << sorted.err;
  const std::string result = read(work() / "rec" / "ZEruTestNewFind.htm");
  EXPECT_EQ(count(result, "<tr><td>"), kCallCount + 0) << result;
  EXPECT_EQ(count(result, "</td></tr>\r\n"), kCallCount) << "rows written with CR LF";
  EXPECT_EQ(count(result, "<tr><td>"), count(result, "tr><td>")) << "no row cut in two";
  const Result search = pvtool({"list", "search", list().string(), "--text", "5551111", "--from",
                                "2000-01-01", "--to", "2099-12-31"});
  ASSERT_EQ(search.status, 0) << search.err;
  EXPECT_NE(search.out.find(": 1 call\n"), std::string::npos) << search.out;
}

TEST_F(SafeEdges, SearchTakesAFullYearAsTheListsTwoDigitsAndCountsRight) {
  record();
  // The emulated calls are dated by the virtual clock: a year they are not in finds none.
  const Result none =
      pvtool({"list", "search", list().string(), "--from", "2098-01-01", "--to", "2098-12-31"});
  ASSERT_EQ(none.status, 0) << none.err;
  EXPECT_NE(none.out.find(": 0 calls\n"), std::string::npos) << none.out;
  EXPECT_EQ(none.err.find("matches no call"), std::string::npos) << none.err;
  const Result all =
      pvtool({"list", "search", list().string(), "--from", "2000-01-01", "--to", "2099-12-31"});
  EXPECT_NE(all.out.find(": " + std::to_string(kCallCount) + " calls\n"), std::string::npos)
      << all.out;
}

TEST_F(SafeEdges, ReplayRefusesAFolderWithCallsAndAListNameOutsideIt) {
  const auto scenario = writeScenario("calls.scn", kCalls);
  ASSERT_EQ(pvtool({"sim", scenario.string(), "-o", "run.pvcap"}).status, 0);
  const Result first = pvtool({"replay", "run.pvcap", "--folder", "rec", "--setting", "44"});
  ASSERT_EQ(first.status, 0) << first.err;
  const auto replayed = contents(work() / "rec");
  ASSERT_EQ(callLog(work() / "rec").size(), kCallCount);

  const Result again = pvtool({"replay", "run.pvcap", "--folder", "rec", "--setting", "44"});
  EXPECT_EQ(again.status, 2);
  EXPECT_NE(again.err.find("holds calls already"), std::string::npos) << again.err;
  EXPECT_EQ(contents(work() / "rec"), replayed);

  for (const char* name : {"../evil.htm", "ParvolinLog.ZERU", "w1p0.LV3", "a\tb.htm"}) {
    SCOPED_TRACE(name);
    const Result bad =
        pvtool({"replay", "run.pvcap", "--folder", "new", "--setting", "44", "--html-name", name});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("cannot name the list"), std::string::npos) << bad.err;
    EXPECT_FALSE(fs::exists(work() / "evil.htm"));
    EXPECT_FALSE(fs::exists(work() / "new"));
  }

  const Result forced =
      pvtool({"replay", "run.pvcap", "--folder", "rec", "--setting", "44", "--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(callLog(work() / "rec").size(), 2 * kCallCount) << "added, as asked";
}

TEST_F(SafeEdges, ConfigMeansTheSameToEveryProgram) {
  fs::create_directory(work() / "adir");
  std::ofstream(work() / "letter.txt") << "Dear all,\n";
  const std::vector<std::string> refused = {"missing/p.conf", "adir", "letter.txt"};
  for (const std::string& config : refused) {
    SCOPED_TRACE(config);
    const Result show = pvtool({"settings", "--config", config});
    EXPECT_EQ(show.status, 2) << show.out << show.err;
    const Result change = pvtool({"settings", "--config", config, "html=off"});
    EXPECT_EQ(change.status, 2) << change.err;
    const Result log = pvtool({"log", "--config", config});
    EXPECT_EQ(log.status, 2) << log.err;
    EXPECT_EQ(run({"--headless", "--simulate", "--virtual", "--config", config, "--folder", "rec"}),
              2)
        << errors_;
  }
  // Only to be read, a settings file must be there.
  EXPECT_EQ(pvtool({"settings", "--config", "nonexistent.conf"}).status, 2);
  EXPECT_FALSE(fs::exists(work() / "missing")) << "no folder made for a typing error";
  EXPECT_FALSE(fs::exists(work() / "rec"));
  EXPECT_FALSE(fs::exists(work() / "nonexistent.conf"));
  EXPECT_EQ(read(work() / "letter.txt"), "Dear all,\n");
}

TEST_F(SafeEdges, AFolderThatCannotBeRecordedInIsRefusedAndNothingStored) {
  ASSERT_EQ(
      pvtool({"settings", "--config", "p.conf", "folder=" + (work() / "good").string()}).status, 0);
  const std::string stored = read(work() / "p.conf");
  ASSERT_NE(stored.find("good"), std::string::npos);
  std::ofstream(work() / "afile") << "x";
  for (const std::string& folder : {std::string(), std::string("  "),
                                    (work() / "afile" / "sub").string(), std::string("/proc/x")}) {
    SCOPED_TRACE(folder);
    const Result r = pvtool({"settings", "--config", "p.conf", "html=off", "folder=" + folder});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("cannot be used"), std::string::npos) << r.out;
    EXPECT_EQ(read(work() / "p.conf"), stored) << "nothing stored, not even html=off";
  }
}

TEST_F(SafeEdges, SettingsOutOfRangeAreToldOnceWithTheDefaultUsed) {
  const auto scenario = writeScenario("idle.scn", "unit PV1\n");
  const std::vector<std::string> args = {"--headless", "--simulate=" + scenario.string(),
                                         "--virtual",  "--config",
                                         "p.conf",     "--folder",
                                         "rec"};
  ASSERT_EQ(run(args), 0) << errors_;
  std::string conf = read(work() / "p.conf");
  for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
           {"UItemNoLimitSetting", "-5"}, {"bAutoRefresh", "2"}, {"ParvolinSetting", "banana"}}) {
    const std::size_t at = conf.find(key + "=");
    ASSERT_NE(at, std::string::npos) << conf;
    conf.replace(at, conf.find('\n', at) - at, key + "=" + value);
  }
  std::ofstream(work() / "p.conf", std::ios::trunc) << conf;

  ASSERT_EQ(run(args), 0) << errors_;
  EXPECT_NE(errors_.find("UItemNoLimitSetting=-5 is out of range (1 to any higher); 2000 is used"),
            std::string::npos)
      << errors_;
  EXPECT_NE(errors_.find("bAutoRefresh=2 is out of range (0 to 1); 1 is used"), std::string::npos)
      << errors_;
  EXPECT_NE(errors_.find("ParvolinSetting=banana is not a number; 44 is used"), std::string::npos)
      << errors_;
  const Result shown = pvtool({"settings", "--config", "p.conf"});
  EXPECT_NE(shown.out.find("capacity-items  2000"), std::string::npos) << shown.out;
  // Told once: the defaults took their place.
  ASSERT_EQ(run(args), 0) << errors_;
  EXPECT_EQ(errors_.find("is used"), std::string::npos) << errors_;
}

// Eleven calls, sixteen lines' worth of audio, on a disk with 250 KB above what the recorder keeps
// free: audio stops at the reserve, every call keeps its record and its row, the audio cut is
// named per call, and the user was warned before it stopped.
TEST_F(SafeEdges, FullDiskKeepsEveryCallsRecordAndRowAndWarnsFirst) {
  if (!privateMountsWork()) GTEST_SKIP() << "no private mount namespace for a small tmpfs";
  std::string scenario = "unit PV1\nunit PV2\nunit PV3\n";
  for (int call = 0; call < 11; ++call) {
    const std::string port = std::to_string(call / 4 + 1) + "/" + std::to_string(call % 4 + 1);
    const int at = 1 + call;
    scenario += std::to_string(at) + " " + port + " ring\n" + std::to_string(at + 1) + " " + port +
                " answer\n" + std::to_string(at + 1) + " " + port + " talk 20\n" +
                std::to_string(at + 22) + " " + port + " callend 55500" +
                std::to_string(10 + call) + "\n";
  }
  writeScenario("busy.scn", scenario);
  ASSERT_TRUE(inPrivateMounts(
      std::to_string(4096 + 250) + "k",
      "\"$P\" --headless --simulate=busy.scn --virtual --config p.conf --folder disk/rec "
      ">out.txt 2>err.txt; echo $? >status; cp -r disk/rec rec"))
      << read(root_ / "sh-err.txt");
  errors_ = read(work() / "err.txt");
  EXPECT_EQ(read(work() / "status"), "4\n") << errors_;
  EXPECT_EQ(callLog(work() / "rec").size(), 11u) << errors_;
  EXPECT_EQ(rows(read(list())), 11u);
  // Warned before the reserve was reached, then told that audio stopped.
  const std::size_t warned = errors_.find("Disk nearly full");
  const std::size_t stopped = errors_.find("Disk full");
  ASSERT_NE(warned, std::string::npos) << errors_;
  ASSERT_NE(stopped, std::string::npos) << errors_;
  EXPECT_LT(warned, stopped);
  // Per call what was cut; no recording is an empty file.
  std::size_t cut = 0;
  for (const std::string& name : filesIn(work() / "rec")) {
    if (!name.ends_with(".LV3")) continue;
    EXPECT_GT(fs::file_size(work() / "rec" / name), 0u) << name;
  }
  std::istringstream lines(errors_);
  for (std::string line; std::getline(lines, line);) {
    cut += line.find(".LV3: ") != std::string::npos && line.ends_with(" not written");
  }
  EXPECT_GE(cut, 1u) << errors_;
  EXPECT_EQ(errors_.find("call record not written"), std::string::npos) << errors_;
  EXPECT_EQ(errors_.find("row not written"), std::string::npos) << errors_;
}

TEST_F(SafeEdges, LogSaysNoAudioForAnUnansweredCall) {
  record();
  const Result log = pvtool({"log", (work() / "rec" / engine::kCallLogName).string()});
  ASSERT_EQ(log.status, 0) << log.err;
  EXPECT_EQ(log.out.find("audio after 0 s"), std::string::npos) << log.out;
  EXPECT_EQ(count(log.out, "no audio"), 1u) << log.out;
}

}  // namespace
}  // namespace parvolin::e2e
