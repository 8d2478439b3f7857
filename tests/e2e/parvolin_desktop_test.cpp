// The recorder's window on a real X display with a window manager and a tray host: it opens on
// two emulated units, records a scripted call (a screenshot of the window while recording is
// kept under the build folder), goes to the tray on a real minimise, comes back on a double
// click on its tray icon and ends through the Exit button and its question. A signal ends a
// window run with the exit sequence too. Its configuration dialog, driven from the keyboard,
// changes the file format and a unit's VAR ports, which the unit uses after its power cycle.
// While the log viewer opens, sorts and refreshes a list of 65,000 rows, four lines record
// without losing a second.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "e2e/desktop_session.h"
#include "engine/call_log.h"
#include "engine/call_record.h"
#include "engine/html_list.h"
#include "support/test_files.h"

namespace parvolin::e2e {
namespace {

namespace fs = std::filesystem;

const fs::path kParvolin = fs::path(PARVOLIN_BINARY_DIR) / "programs" / "parvolin";
const fs::path kPvtool = fs::path(PARVOLIN_BINARY_DIR) / "programs" / "pvtool";

// An answered call on unit 1, port 1: four seconds of speech, over at 7.5 s.
constexpr const char* kOneCall = R"(unit PV0001
unit PV0002
1.0 1/1 ring
1.5 1/1 callerid A 5551234
3.0 1/1 answer
3.0 1/1 talk 4 speech:1
7.5 1/1 callend 5551234
)";

class ParvolinDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(display_.name().empty()) << display_.errors();
    fs::create_directories(root() / "home");
    fs::create_directories(root() / "runtime");
    fs::permissions(root() / "runtime", fs::perms::owner_all);
    std::ofstream(root() / "call.scn") << kOneCall;
    windowManager_ = background("openbox", {"--sm-disable"});
    ASSERT_TRUE(waitUntil(
        [&] {
          return tool("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).output.find("window id") !=
                 std::string::npos;
        },
        30s))
        << "no window manager";
  }

  fs::path root() const { return folder_.path(); }
  fs::path rec() const { return root() / "rec"; }
  std::map<std::string, std::string> env() const {
    return {{"DISPLAY", display_name_},
            {"QT_QPA_PLATFORM", "xcb"},
            {"HOME", (root() / "home").string()},
            {"XDG_CONFIG_HOME", (root() / "home" / "config").string()},
            {"XDG_DATA_HOME", (root() / "home" / "data").string()},
            {"XDG_RUNTIME_DIR", (root() / "runtime").string()},
            {"LSAN_OPTIONS",
             "suppressions=" + (fs::path(PARVOLIN_SOURCE_DIR) / "tests/e2e/lsan.supp").string()}};
  }
  CommandResult tool(const std::string& program, const std::vector<std::string>& args) {
    return runCommand("/usr/bin/" + program, args, env(), root());
  }
  std::unique_ptr<ProgramRun> background(const std::string& program,
                                         const std::vector<std::string>& args) {
    return std::make_unique<ProgramRun>("/usr/bin/" + program, args, env(), root(),
                                        root() / (program + ".out"), root() / (program + ".err"));
  }
  void startTray() {
    tray_ = background("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                  "--width", "120", "--height", "24"});
    ASSERT_TRUE(waitUntil(
        [&] {
          return !visible({"--class", "trayer"}).empty();
        },
        30s))
        << "no tray";
  }
  std::unique_ptr<ProgramRun> startRecorder(const std::string& scenario = "call.scn") {
    return std::make_unique<ProgramRun>(
        kParvolin,
        std::vector<std::string>{"--simulate=" + scenario, "--config", "Parvolin.conf", "--folder",
                                 rec().string()},
        env(), root(), root() / "parvolin.out", root() / "parvolin.err");
  }

  // The visible windows that `search` finds.
  std::set<std::string> visible(const std::vector<std::string>& search) {
    std::vector<std::string> args = {"search", "--onlyvisible"};
    args.insert(args.end(), search.begin(), search.end());
    std::istringstream lines(tool("xdotool", args).output);
    std::set<std::string> ids;
    for (std::string id; std::getline(lines, id);) {
      if (!id.empty()) ids.insert(id);
    }
    return ids;
  }
  // The recorder's visible windows: its main window, its tray icon, its message boxes.
  std::set<std::string> recorderWindows() { return visible({"--class", "parvolin"}); }
  // The main window once it shows.
  std::string mainWindow() { return window("^Parvolin$"); }
  // The one visible window whose title matches `title`, once it shows; empty if it does not.
  std::string window(const std::string& title) {
    std::string id;
    waitUntil(
        [&] {
          const auto found = visible({"--name", title});
          if (found.size() != 1) return false;
          id = *found.begin();
          return true;
        },
        30s);
    return id;
  }
  // Types `keys` into the window, one key at a time.
  void keys(const std::string& window, const std::vector<std::string>& keys) {
    tool("xdotool", {"windowactivate", "--sync", window});
    for (const std::string& key : keys) tool("xdotool", {"key", key});
  }
  bool hasFileEnding(const std::string& extension) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(rec(), ec)) {
      if (e.path().extension() == extension) return true;
    }
    return false;
  }
  void keepScreenshot(const std::string& name) {
    const auto folder = fs::path(PARVOLIN_BINARY_DIR) / "test-artefacts";
    fs::create_directories(folder);
    const auto temp = folder / ("." + name + "-" + std::to_string(::getpid()) + ".png");
    tool("import", {"-window", "root", temp.string()});
    std::error_code ec;
    fs::rename(temp, folder / (name + ".png"), ec);
  }

  parvolin::test::TempFolder folder_;
  XDisplay display_{folder_.path()};
  std::string display_name_ = display_.name();
  std::unique_ptr<ProgramRun> windowManager_;
  std::unique_ptr<ProgramRun> tray_;
};

TEST_F(ParvolinDesktop, RecordsACallGoesToTheTrayComesBackAndExits) {
  startTray();
  auto recorder = startRecorder();
  const std::string window = mainWindow();
  ASSERT_FALSE(window.empty()) << recorder->errors();
  ASSERT_TRUE(waitUntil([&] { return fs::exists(rec()); }, 30s));
  std::ofstream(rec() / "ZEruTestNewFind.htm") << "a search result";

  // While the call is being recorded.
  ASSERT_TRUE(waitUntil([&] { return hasFileEnding(".LV3"); }, 30s)) << recorder->errors();
  keepScreenshot("parvolin-desktop");
  ASSERT_TRUE(waitUntil(
      [&] {
        std::error_code ec;
        return fs::file_size(rec() / engine::kCallLogName, ec) == engine::kCallRecordSize;
      },
      60s))
      << "the call was not logged";

  // Minimised: the window leaves the screen and an icon of the recorder's shows in the tray.
  tool("xdotool", {"windowminimize", window});
  std::string icon;
  ASSERT_TRUE(waitUntil(
      [&] {
        const auto shown = recorderWindows();
        if (shown.size() != 1 || shown.count(window)) return false;
        icon = *shown.begin();
        return true;
      },
      30s))
      << "no tray icon";

  // A double click on the icon brings the window back and removes the icon.
  tool("xdotool",
       {"mousemove", "--window", icon, "8", "8", "click", "--repeat", "2", "--delay", "80", "1"});
  ASSERT_TRUE(waitUntil([&] { return recorderWindows() == std::set<std::string>{window}; }, 30s))
      << "not restored";

  // Enter is the Exit button; it asks, as the first unit is in use; Alt+Y answers Yes.
  tool("xdotool", {"windowactivate", "--sync", window});
  tool("xdotool", {"key", "Return"});
  ASSERT_TRUE(waitUntil([&] { return recorderWindows().size() == 2; }, 30s)) << "no question";
  tool("xdotool", {"key", "alt+y"});
  EXPECT_EQ(recorder->waitFor(30s), 0) << recorder->errors();
  EXPECT_FALSE(fs::exists(rec() / "ZEruTestNewFind.htm")) << "the exit sequence ran";
  EXPECT_TRUE(fs::exists(rec() / "ZEruTestNew.htm"));
}

// A unit whose ports record in VAR mode only after its power cycle (an unplug and replug at
// 30 s); random calls from 32 s on, the first on port 2 a voice-activated recording when the
// port is in VAR mode.
constexpr const char* kPowerCycle = R"(unit PV0001
30 1 unplug
31 1 replug
random 1 seed=43 from=32 until=40
)";

// Through "Configure", from the keyboard: port 2 of the unit set to VAR on its hardware page
// ("Write Hardware" and its message), WAV chosen on the software page, "OK". After the unit's
// power cycle its port 2 records in VAR mode, into a WAV file.
TEST_F(ParvolinDesktop, ConfigureChangesTheFormatAndAVarPortThatTheUnitUsesAfterItsPowerCycle) {
  std::ofstream(root() / "configure.scn") << kPowerCycle;
  auto recorder = startRecorder("configure.scn");
  const std::string main = mainWindow();
  ASSERT_FALSE(main.empty()) << recorder->errors();

  keys(main, {"Tab", "Tab", "space"});  // from Exit over View Log to Configure
  const std::string dialog = window("^Configure Software, and/or hardware unit\\(s\\)");
  ASSERT_FALSE(dialog.empty()) << recorder->errors();
  // The tab row has the focus: Right shows Unit1's page; Port 1, Port 2 (toggled); back over
  // Port 1, the tab row and "Exit Settings" to "Write Hardware".
  keys(dialog, {"Right", "Tab", "Tab", "space", "shift+Tab", "shift+Tab", "shift+Tab", "shift+Tab",
                "space"});
  ASSERT_TRUE(waitUntil(
      [&] {
        return visible({"--name", "^Parvolin$"}).size() == 2;
      },
      30s))
      << "no message after Write Hardware";
  keepScreenshot("parvolin-configure-written");
  tool("xdotool", {"key", "Return"});
  ASSERT_TRUE(waitUntil([&] { return visible({"--name", "^Parvolin$"}).size() == 1; }, 30s));

  // Ctrl+Shift+Tab back to the software page, whose first control (LV) takes the focus; Tab to
  // WAV.
  keys(dialog, {"ctrl+shift+Tab", "Tab", "space"});
  keepScreenshot("parvolin-configure-software");
  keys(dialog, {"Return"});  // "OK"
  ASSERT_TRUE(waitUntil([&] { return visible({"--name", "^Configure"}).empty(); }, 30s));
  // The recorder itself tells whether the unit's power cycle came before the settings were
  // written: it would have reported the unit lost.
  const CommandResult status =
      runCommand(kPvtool.string(), {"status", "--folder", rec().string(), "--json"}, env(), root());
  ASSERT_EQ(status.status, 0) << "no status from the recorder";
  const nlohmann::json shown = nlohmann::json::parse(status.output, nullptr, false);
  ASSERT_TRUE(shown.is_object()) << status.output;
  for (const auto& problem : shown.value("problems", nlohmann::json::array())) {
    ASSERT_EQ(problem.value("text", std::string()).find("lost"), std::string::npos)
        << "the unit's power cycle came before the dialog had written its settings: "
        << status.output;
  }
  std::string conf;
  std::getline(std::ifstream(root() / "Parvolin.conf"), conf, '\0');
  EXPECT_NE(conf.find("ParvolinSetting=28\n"), std::string::npos)
      << "WAV instead of LV in 44: " << conf;

  // After the power cycle, port 2's first call is a voice-activated recording, in a WAV file.
  const auto varCallOnPort2 = [&] {
    engine::CallLogContents log;
    if (engine::readCallLog(rec() / engine::kCallLogName, log)) return false;
    for (const engine::CallRecord& r : log.records) {
      if (r.portIndex == 1 && r.callType == engine::kCallVar) return true;
    }
    return false;
  };
  ASSERT_TRUE(waitUntil(varCallOnPort2, 60s)) << recorder->errors();
  EXPECT_TRUE(hasFileEnding(".WAV"));
  EXPECT_FALSE(hasFileEnding(".LV3"));

  keepScreenshot("parvolin-configure-var-call");

  // "Configure" kept the focus: on over "About" to "Exit".
  keys(main, {"Tab", "Tab", "Return"});
  ASSERT_TRUE(waitUntil([&] { return recorderWindows().size() == 2; }, 30s)) << "no question";
  tool("xdotool", {"key", "alt+y"});
  EXPECT_EQ(recorder->waitFor(30s), 0) << recorder->errors();
}

// Four answered calls on one unit, 25 s of speech each: the unit's queue holds about two seconds
// of four lines' audio, so every poll that comes late loses audio.
constexpr const char* kFourLines = R"(unit PV0001
2.0 1/1 ring
2.0 1/2 ring
2.0 1/3 ring
2.0 1/4 ring
2.5 1/1 answer
2.5 1/2 answer
2.5 1/3 answer
2.5 1/4 answer
2.5 1/1 talk 25 speech:1
2.5 1/2 talk 25 speech:2
2.5 1/3 talk 25 speech:3
2.5 1/4 talk 25 speech:4
28.0 1/1 callend 5550001
28.0 1/2 callend 5550002
28.0 1/3 callend 5550003
28.0 1/4 callend 5550004
)";
constexpr std::uintmax_t kTalkBytes = 25 * 8000;  // mode 3: one byte a sample
constexpr std::uintmax_t kAudioBlock = 512;

// A list of `rows` calls, newest first, as the recorder writes it.
void writeLongList(const fs::path& list, int rows) {
  std::string text(engine::kHtmlHeader);
  text.reserve(std::size_t(rows) * 200);
  engine::CallRecord r;
  r.callType = engine::kCallAnswered;
  r.firstAudioSec = 1;
  for (int item = rows; item >= 1; --item) {
    r.portIndex = std::uint8_t(item % 16);
    r.startTime = 1'700'000'000u + std::uint32_t(item) * 60;
    r.durationSec = std::uint16_t(item % 600);
    const std::string number = std::to_string(5'550'000 + item);
    std::copy(number.begin(), number.end(), r.callText.begin());
    text += engine::htmlRow(r, 3, false, item);
  }
  std::ofstream(list, std::ios::binary) << text;
}

TEST_F(ParvolinDesktop, FourLinesLoseNoAudioWhileTheViewerWorksOnALongList) {
  fs::create_directories(rec());
  writeLongList(rec() / "ZEruTestNew.htm", 65'000);
  std::ofstream(root() / "four.scn") << kFourLines;
  auto recorder = startRecorder("four.scn");
  const std::string main = mainWindow();
  ASSERT_FALSE(main.empty()) << recorder->errors();

  // "View Log" is next to "Exit", which has the focus. The viewer opens long before the calls
  // are over.
  keys(main, {"Tab", "space"});
  ASSERT_TRUE(waitUntil([&] { return recorderWindows().size() == 2; }, 300s))
      << "no viewer" << recorder->errors();
  std::string viewer;
  for (const std::string& id : recorderWindows()) {
    if (id != main) viewer = id;
  }
  // Its buttons, by their places in dialog units of the 380 x 210 dialog: the clicks wait in
  // the window's queue while it is busy.
  std::istringstream geometry(tool("xdotool", {"getwindowgeometry", "--shell", viewer}).output);
  int width = 0, height = 0;
  for (std::string line; std::getline(geometry, line);) {
    if (line.rfind("WIDTH=", 0) == 0) width = std::stoi(line.substr(6));
    if (line.rfind("HEIGHT=", 0) == 0) height = std::stoi(line.substr(7));
  }
  ASSERT_GT(width, 0);
  const auto click = [&](double x, double w) {
    tool("xdotool",
         {"mousemove", "--window", viewer, std::to_string(int((x + w / 2) * width / 380)),
          std::to_string(int(192.0 * height / 210)), "click", "1"});
  };
  click(84, 59);   // "Sort by Port"
  click(221, 59);  // "Sort by Duration"
  click(18, 59);   // "List Refresh"
  click(287, 81);  // "View Port Activity" ends the viewer
  ASSERT_TRUE(waitUntil([&] { return recorderWindows().size() == 1; }, 900s))
      << "the viewer did not end" << recorder->errors();

  ASSERT_TRUE(waitUntil(
      [&] {
        std::error_code ec;
        return fs::file_size(rec() / engine::kCallLogName, ec) == 4 * engine::kCallRecordSize;
      },
      120s))
      << "the calls were not logged";
  // Every second of each call's speech reached its file: at most the block under way short.
  int recordings = 0;
  for (const auto& entry : fs::directory_iterator(rec())) {
    if (entry.path().extension() != ".LV3") continue;
    ++recordings;
    const std::uintmax_t size = fs::file_size(entry.path());
    EXPECT_GE(size + kAudioBlock, kTalkBytes) << entry.path();
    EXPECT_LE(size, kTalkBytes + kAudioBlock) << entry.path();
  }
  EXPECT_EQ(recordings, 4);
  keepScreenshot("parvolin-long-list");

  // The focus came back to "View Log", where Return would open the viewer again: back to "Exit".
  keys(main, {"shift+Tab", "Return"});
  ASSERT_TRUE(waitUntil([&] { return recorderWindows().size() == 2; }, 30s)) << "no question";
  tool("xdotool", {"key", "alt+y"});
  // The exit sequence writes into a folder with a list of several megabytes: on a loaded machine
  // that takes a while.
  EXPECT_EQ(recorder->waitFor(120s), 0) << recorder->errors();
}

TEST_F(ParvolinDesktop, ASignalRunsTheExitSequenceWithoutAsking) {
  auto recorder = startRecorder();
  ASSERT_FALSE(mainWindow().empty()) << recorder->errors();
  ASSERT_TRUE(waitUntil([&] { return fs::exists(rec()); }, 30s));
  std::ofstream(rec() / "ZEruTestNewFind.htm") << "a search result";
  recorder->signal(SIGTERM);
  EXPECT_EQ(recorder->waitFor(30s), 0) << recorder->errors();
  EXPECT_FALSE(fs::exists(rec() / "ZEruTestNewFind.htm"));
}

// A long call on port 1, then nothing.
constexpr const char* kLongCall = R"(unit PV0001
1.0 1/1 ring
2.0 1/1 answer
2.0 1/1 talk 600
)";

// One stray Escape, or the close box, while a line is in a call asks before it ends the
// recording; "No" keeps it going. With no call in progress Escape ends at once.
TEST_F(ParvolinDesktop, EscapeAndTheCloseBoxAskWhileALineIsInACall) {
  std::ofstream(root() / "long.scn") << kLongCall;
  auto recorder = startRecorder("long.scn");
  const std::string window = mainWindow();
  ASSERT_FALSE(window.empty()) << recorder->errors();
  ASSERT_TRUE(waitUntil([&] { return hasFileEnding(".LV3"); }, 60s)) << recorder->errors();

  keys(window, {"Escape"});
  ASSERT_TRUE(waitUntil([&] { return recorderWindows().size() == 2; }, 30s)) << "no question";
  tool("xdotool", {"key", "alt+n"});
  ASSERT_TRUE(waitUntil([&] { return recorderWindows() == std::set<std::string>{window}; }, 30s));
  EXPECT_FALSE(recorder->waitFor(2s)) << "No keeps the recorder running";

  // The close box (the window manager's close, Alt+F4 in openbox) asks the same.
  keys(window, {"alt+F4"});
  ASSERT_TRUE(waitUntil([&] { return recorderWindows().size() == 2; }, 30s)) << "no question";
  tool("xdotool", {"key", "alt+y"});
  EXPECT_EQ(recorder->waitFor(30s), 0) << recorder->errors();
}

TEST_F(ParvolinDesktop, EscapeWithoutACallEndsAtOnce) {
  std::ofstream(root() / "idle.scn") << "unit PV0001\n";
  auto recorder = startRecorder("idle.scn");
  const std::string window = mainWindow();
  ASSERT_FALSE(window.empty()) << recorder->errors();
  ASSERT_TRUE(waitUntil([&] { return fs::exists(rec()); }, 30s));
  keys(window, {"Escape"});
  EXPECT_EQ(recorder->waitFor(30s), 0) << recorder->errors();
}

}  // namespace
}  // namespace parvolin::e2e
