// The recorder's window on a real X display with a window manager and a tray host: it opens on
// two emulated units, records a scripted call (a screenshot of the window while recording is
// kept under the build folder), goes to the tray on a real minimise, comes back on a double
// click on its tray icon and ends through the Exit button and its question. A signal ends a
// window run with the exit sequence too.

#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <sstream>

#include "e2e/desktop_session.h"
#include "engine/call_log.h"
#include "engine/call_record.h"
#include "support/test_files.h"

namespace parvolin::e2e {
namespace {

namespace fs = std::filesystem;

const fs::path kParvolin = fs::path(PARVOLIN_BINARY_DIR) / "programs" / "parvolin";

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
  std::unique_ptr<ProgramRun> startRecorder() {
    return std::make_unique<ProgramRun>(
        kParvolin,
        std::vector<std::string>{"--simulate=call.scn", "--config", "Parvolin.conf", "--folder",
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
  std::string mainWindow() {
    std::string id;
    waitUntil(
        [&] {
          const auto found = visible({"--name", "^Parvolin$"});
          if (found.size() != 1) return false;
          id = *found.begin();
          return true;
        },
        30s);
    return id;
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

TEST_F(ParvolinDesktop, ASignalRunsTheExitSequenceWithoutAsking) {
  auto recorder = startRecorder();
  ASSERT_FALSE(mainWindow().empty()) << recorder->errors();
  ASSERT_TRUE(waitUntil([&] { return fs::exists(rec()); }, 30s));
  std::ofstream(rec() / "ZEruTestNewFind.htm") << "a search result";
  recorder->signal(SIGTERM);
  EXPECT_EQ(recorder->waitFor(30s), 0) << recorder->errors();
  EXPECT_FALSE(fs::exists(rec() / "ZEruTestNewFind.htm"));
}

}  // namespace
}  // namespace parvolin::e2e
