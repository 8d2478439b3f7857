// The recorder killed with SIGKILL at random moments of real-time runs on emulated units, again
// and again on one folder, and the folder put right by pvtool recover after most kills (and by
// the next start of the recorder after the others): then every recording in the folder is linked
// from exactly one row, every logged call has its row, and the rows are numbered without a gap or
// a repeat.

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <regex>
#include <sstream>

#include "e2e/headless_recorder.h"
#include "logview/folder_recovery.h"
#include "logview/list_rows.h"

namespace parvolin::e2e {
namespace {

using namespace std::chrono_literals;

class KillRecovery : public HeadlessRecorder {
 protected:
  // Short calls on the eight ports of two units (the second in mode 1), back to back from the
  // start for `seconds`: answered and unanswered incoming calls and outgoing calls.
  static std::string scenario(std::mt19937& random, double seconds) {
    std::ostringstream text;
    text << "unit PV1\nunit PV2 mode=1\n";
    std::uniform_real_distribution<double> gap(0.05, 0.4), talk(0.3, 1.6);
    std::uniform_int_distribution<int> kind(0, 3);
    for (int unit = 1; unit <= 2; ++unit) {
      for (int port = 1; port <= 4; ++port) {
        const std::string line = std::to_string(unit) + "/" + std::to_string(port);
        for (double t = gap(random); t < seconds; t += gap(random)) {
          const double length = talk(random);
          text.setf(std::ios::fixed);
          text.precision(2);
          switch (kind(random)) {
            case 0:  // not answered
              text << t << ' ' << line << " ring\n" << t + 0.2 << ' ' << line << " callend 555\n";
              t += 0.2;
              break;
            case 1:  // outgoing
              text << t << ' ' << line << " answer\n"
                   << t << ' ' << line << " talk " << length << '\n'
                   << t + length << ' ' << line << " calloutend 0123456\n";
              t += length;
              break;
            default:  // answered
              text << t << ' ' << line << " answer\n"
                   << t << ' ' << line << " talk " << length << '\n'
                   << t + length << ' ' << line << " callend 5551234\n";
              t += length;
              break;
          }
        }
      }
    }
    return text.str();
  }

  // The folder's recordings, by name, with their sizes.
  std::map<std::string, std::uintmax_t> recordings() const {
    std::map<std::string, std::uintmax_t> found;
    for (const std::string& name : filesIn(work() / "rec")) {
      if (name.size() == 15 && name[0] == 'w') {
        found[name] = std::filesystem::file_size(work() / "rec" / name);
      }
    }
    return found;
  }

  // Checks what must hold after a recovery; `round` names the kill in the messages.
  void expectWholeFolder(int round) {
    SCOPED_TRACE("after kill " + std::to_string(round));
    const std::string list = ProgramRun::readAll(work() / "rec" / "ZEruTestNew.htm");
    const std::vector<logview::ListRow> rows = logview::parseRows(logview::listBody(list));
    const auto log = callLog(work() / "rec");
    EXPECT_EQ(rows.size(), log.size()) << "every logged call has one row";
    std::map<std::string, int> links;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].item, int(rows.size() - i)) << "row " << i;
      if (!rows[i].link.empty()) ++links[std::string(rows[i].link)];
    }
    for (const auto& [name, bytes] : recordings()) {
      EXPECT_EQ(links[name], 1) << name << " (" << bytes << " bytes)";
    }
    for (const logview::ListRow& row : rows) {
      if (row.trimmedText() != logview::kRecoveredText) continue;
      const std::string name(row.link);
      const auto size = std::filesystem::file_size(work() / "rec" / name);
      EXPECT_EQ(row.durationSeconds(), int(logview::recordingSeconds(name, size, false))) << name;
    }
  }

  // The number before `what` in `text`, 0 when it is not there.
  static int countBefore(const std::string& text, const std::string& what) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex("([0-9]+) " + what))) return 0;
    return std::stoi(match[1]);
  }
};

TEST_F(KillRecovery, EveryCallWhoseAudioReachedTheDiskIsListedOnceAfterEachKill) {
  constexpr int kKills = 30;
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  // Kills from the very start (the recorder's own recovery, the units' set-up) to well into
  // the calls.
  std::uniform_int_distribution<int> killAfterMs(0, 2500);
  int rowsPutBack = 0, callsRecovered = 0, startRecoveries = 0;
  for (int round = 1; round <= kKills; ++round) {
    const auto file = writeScenario("calls.scn", scenario(random, 4.0));
    auto recorder = start(
        {"--headless", "--simulate=" + file.string(), "--config", "p.conf", "--folder", "rec"});
    std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs(random)));
    recorder->signal(SIGKILL);
    EXPECT_EQ(recorder->wait(), -1) << "round " << round << ": " << recorder->errors();
    if (recorder->errors().find("Recovery: ") != std::string::npos) ++startRecoveries;
    if (!std::filesystem::exists(work() / "rec")) continue;  // killed before it made the folder
    // Every third kill is left to the next start's own recovery (checked after the kill after).
    if (round % 3 == 0 && round != kKills) continue;

    ProgramRun recover(kPvtool, {"recover", "rec"}, env(), work(), root_ / "r-out.txt",
                       root_ / "r-err.txt");
    ASSERT_EQ(recover.wait(), 0) << recover.output() << recover.errors();
    rowsPutBack += countBefore(recover.output(), "rows? of logged calls put back");
    callsRecovered += countBefore(recover.output(), "recordings? without record or row");
    expectWholeFolder(round);
    if (HasFailure()) break;
  }
  const auto log = callLog(work() / "rec");
  std::cout << "[ figures  ] " << kKills << " kills, " << log.size() << " calls logged, "
            << recordings().size() << " recordings; pvtool recover put back " << rowsPutBack
            << " rows and recovered " << callsRecovered << " calls; " << startRecoveries
            << " starts recovered something\n";
  EXPECT_GT(rowsPutBack + callsRecovered, 0) << "the kills left something to recover";
}

TEST_F(KillRecovery, DryRunNamesWhatItWouldDoAndARunningRecordersFolderIsRefused) {
  const auto file = writeScenario("talk.scn",
                                  "unit PV1\n0.2 1/1 answer\n0.2 1/1 talk 60\n"
                                  "0.2 1/2 answer\n0.2 1/2 talk 1\n1.5 1/2 callend 555\n");
  auto recorder =
      start({"--headless", "--simulate=" + file.string(), "--config", "p.conf", "--folder", "rec"});
  ASSERT_TRUE(
      waitUntil([&] { return !recordings().empty() && !callLog(work() / "rec").empty(); }, 30s))
      << recorder->errors();
  ProgramRun busy(kPvtool, {"recover", "rec"}, env(), work(), root_ / "b-out.txt",
                  root_ / "b-err.txt");
  EXPECT_EQ(busy.wait(), 1);
  EXPECT_NE(busy.errors().find("is in use by process"), std::string::npos) << busy.errors();
  std::this_thread::sleep_for(1500ms);
  recorder->signal(SIGKILL);
  recorder->wait();

  std::string name;  // the recording of the call going on (port 1)
  for (const auto& [file, bytes] : recordings()) {
    if (file.find("p0.") != std::string::npos) name = file;
  }
  ASSERT_FALSE(name.empty());
  const auto before = ProgramRun::readAll(work() / "rec" / "ParvolinLog.ZERU");
  ProgramRun dry(kPvtool, {"recover", "rec", "--dry-run"}, env(), work(), root_ / "d-out.txt",
                 root_ / "d-err.txt");
  EXPECT_EQ(dry.wait(), 0) << dry.errors();
  EXPECT_NE(dry.output().find(name + ": no record or row; would be recovered"), std::string::npos)
      << dry.output();
  EXPECT_NE(dry.output().find("dry run, nothing changed"), std::string::npos) << dry.output();
  EXPECT_EQ(ProgramRun::readAll(work() / "rec" / "ParvolinLog.ZERU"), before);

  // The recorder's next start recovers it and says so on standard error.
  const auto idle = writeScenario("idle.scn", "unit PV1\n");
  EXPECT_EQ(run({"--headless", "--simulate=" + idle.string(), "--virtual", "--config", "p.conf",
                 "--folder", "rec"}),
            0)
      << errors_;
  EXPECT_NE(errors_.find(name + ": recovered as a call of "), std::string::npos) << errors_;
  EXPECT_NE(errors_.find("Recovery: "), std::string::npos) << errors_;
  ProgramRun again(kPvtool, {"recover", "rec"}, env(), work(), root_ / "a-out.txt",
                   root_ / "a-err.txt");
  EXPECT_EQ(again.wait(), 0);
  EXPECT_NE(again.output().find("nothing to recover"), std::string::npos) << again.output();
}

}  // namespace
}  // namespace parvolin::e2e
