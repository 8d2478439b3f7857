// lvplayer on a real X display: an emulated call is recorded by the recorder, lvplayer opens
// the recording, its window shows (a screenshot is kept under the build folder), and real
// clicks pause, play, seek and stop it.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <thread>

#include "e2e/desktop_session.h"
#include "e2e/emulated_call.h"
#include "support/test_files.h"

namespace parvolin::e2e {
namespace {

const std::filesystem::path kBin = std::filesystem::path(PARVOLIN_BINARY_DIR) / "programs";

// One answered call of a minute of speech on a mode-1 unit.
constexpr const char* kMinuteCall = R"(unit PV0001 mode=1
1.0 1/1 ring
1.5 1/1 answer
1.5 1/1 talk 60
61.5 1/1 callend 5551234
)";

// A point of the player's window given in its layout units (342 x 89 for the whole window).
struct Spot {
  double x, y;
};
constexpr Spot kPausePlay{169, 70};
constexpr Spot kStop{215, 70};
constexpr Spot kWav{123, 70};
constexpr Spot kSliderNinetyPercent{12 + 318 * 0.9, 28};

struct Window {
  std::string id;
  int x = 0, y = 0, width = 0, height = 0;

  std::pair<int, int> at(Spot spot) const {
    return {x + static_cast<int>(spot.x * width / 342), y + static_cast<int>(spot.y * height / 89)};
  }
};

class LvPlayerDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sound_.ready()) << sound_.errors();
    ASSERT_FALSE(display_.name().empty()) << display_.errors();
    recording_ = recordEmulatedCall(folder_.path() / "recorder", kMinuteCall, ".LV1");
    ASSERT_FALSE(recording_.empty());
  }

  std::map<std::string, std::string> desktopEnv() {
    auto env = sound_.env();
    env["DISPLAY"] = display_.name();
    env["QT_QPA_PLATFORM"] = "xcb";
    env["LSAN_OPTIONS"] =
        "suppressions=" +
        (std::filesystem::path(PARVOLIN_SOURCE_DIR) / "tests/e2e/lsan.supp").string();
    return env;
  }
  CommandResult tool(const std::string& program, const std::vector<std::string>& args) {
    return runCommand("/usr/bin/" + program, args, desktopEnv(), folder_.path());
  }

  std::unique_ptr<ProgramRun> startPlayer(const std::string& name) {
    return std::make_unique<ProgramRun>(
        kBin / "lvplayer", std::vector{recording_.string()}, desktopEnv(), recording_.parent_path(),
        folder_.path() / (name + ".out"), folder_.path() / (name + ".err"));
  }

  // The player's window once it is on the screen.
  std::optional<Window> findWindow() {
    Window w;
    const bool found = waitUntil(
        [&] {
          const auto search =
              tool("xdotool", {"search", "--onlyvisible", "--name", "LvPlayer Ver1.0"});
          if (search.status != 0 || search.output.empty()) return false;
          w.id = search.output.substr(0, search.output.find('\n'));
          return true;
        },
        30s);
    if (!found) return std::nullopt;
    std::istringstream geometry(tool("xdotool", {"getwindowgeometry", "--shell", w.id}).output);
    for (std::string line; std::getline(geometry, line);) {
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = line.substr(0, eq);
      const int value = std::atoi(line.c_str() + eq + 1);
      if (key == "X") w.x = value;
      if (key == "Y") w.y = value;
      if (key == "WIDTH") w.width = value;
      if (key == "HEIGHT") w.height = value;
    }
    if (w.width <= 0 || w.height <= 0) return std::nullopt;
    return w;
  }

  // The screen's pixels around `point`, 3 bytes each.
  std::vector<std::uint8_t> pixelsAround(std::pair<int, int> point, int radius) {
    const auto file = folder_.path() / "grab.rgb";
    const std::string crop = std::to_string(2 * radius) + "x" + std::to_string(2 * radius) + "+" +
                             std::to_string(point.first - radius) + "+" +
                             std::to_string(point.second - radius);
    tool("import",
         {"-window", "root", "-crop", crop, "+repage", "-depth", "8", "rgb:" + file.string()});
    return parvolin::test::readBytes(file);
  }
  // Whether the middle of the Pause/Play button shows the play symbol (a solid triangle there)
  // rather than the pause symbol (the gap between its two bars).
  bool showsPlaySymbol(const Window& w) {
    const auto pixels = pixelsAround(w.at(kPausePlay), 2);
    if (pixels.size() != 4 * 4 * 3) return false;
    int dark = 0;
    for (std::size_t i = 0; i < pixels.size(); i += 3)
      dark += pixels[i] + pixels[i + 1] + pixels[i + 2] < 300;
    return dark == 16;
  }
  void click(const Window& w, Spot spot) {
    const auto [x, y] = w.at(spot);
    tool("xdotool", {"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
  }
  void keepScreenshot() {
    const auto folder = std::filesystem::path(PARVOLIN_BINARY_DIR) / "test-artefacts";
    std::filesystem::create_directories(folder);
    const auto temp = folder / (".lvplayer-desktop-" + std::to_string(::getpid()) + ".png");
    tool("import", {"-window", "root", temp.string()});
    std::error_code ec;
    std::filesystem::rename(temp, folder / "lvplayer-desktop.png", ec);
  }

  parvolin::test::TempFolder folder_;
  SoundServer sound_{folder_.path() / "sound"};
  XDisplay display_{folder_.path()};
  std::filesystem::path recording_;
};

TEST_F(LvPlayerDesktop, ClicksPausePlaySeekAndStop) {
  auto player = startPlayer("first");
  auto window = findWindow();
  ASSERT_TRUE(window) << player->errors() << "X server: " << display_.errors();
  // Playing: the button offers to pause.
  ASSERT_TRUE(waitUntil([&] { return !pixelsAround(window->at(kPausePlay), 2).empty(); }, 30s));
  keepScreenshot();
  EXPECT_FALSE(showsPlaySymbol(*window));

  click(*window, kPausePlay);
  EXPECT_TRUE(waitUntil([&] { return showsPlaySymbol(*window); }, 20s)) << "not paused";
  click(*window, kPausePlay);
  EXPECT_TRUE(waitUntil([&] { return !showsPlaySymbol(*window); }, 20s)) << "not playing again";

  // From nine tenths of the minute the player reaches the end within seconds; without the
  // seek it would play for most of a minute more.
  click(*window, kSliderNinetyPercent);
  const auto ended = player->waitFor(30s);
  ASSERT_TRUE(ended) << "the seek did not bring the end near";
  EXPECT_EQ(*ended, 0) << player->errors();

  auto second = startPlayer("second");
  window = findWindow();
  ASSERT_TRUE(window) << second->errors() << "X server: " << display_.errors();
  ASSERT_TRUE(waitUntil(
      [&] { return !showsPlaySymbol(*window) && !pixelsAround(window->at(kStop), 2).empty(); },
      30s));
  click(*window, kStop);
  const auto stopped = second->waitFor(20s);
  ASSERT_TRUE(stopped) << "Stop did not end the player";
  EXPECT_EQ(*stopped, 0) << second->errors();
}

// "Wave file conversion" opens in the recording folder; a name there that is one of the
// folder's own files (the recording playing, another call's, the call log) is refused after the
// dialog's replace question, with the message pvtool convert gives, and the file is kept.
TEST_F(LvPlayerDesktop, SaveAsNeverReplacesARecordingFoldersOwnFile) {
  const std::string before = parvolin::test::readFile(recording_);
  auto player = startPlayer("save");
  auto window = findWindow();
  ASSERT_TRUE(window) << player->errors() << "X server: " << display_.errors();
  ASSERT_TRUE(waitUntil([&] { return !pixelsAround(window->at(kWav), 2).empty(); }, 30s));
  const auto windows = [&] {
    const auto search = tool("xdotool", {"search", "--onlyvisible", "--class", "lvplayer"});
    return std::count(search.output.begin(), search.output.end(), '\n');
  };
  const auto shown = windows();
  click(*window, kWav);
  ASSERT_TRUE(waitUntil([&] { return windows() > shown; }, 30s)) << "no save dialog";
  tool("xdotool", {"key", "ctrl+a"});
  tool("xdotool", {"type", "--delay", "20", recording_.filename().string()});
  tool("xdotool", {"key", "Return"});
  // The dialog asks before replacing (over the dialog); Yes. Then the refusal shows alone, and
  // Return (OK) closes it.
  ASSERT_TRUE(waitUntil([&] { return windows() == shown + 2; }, 30s)) << "no replace question";
  tool("xdotool", {"key", "alt+y"});
  ASSERT_TRUE(waitUntil([&] { return windows() == shown + 1; }, 30s)) << "no refusal";
  std::this_thread::sleep_for(500ms);
  tool("xdotool", {"key", "Return"});
  EXPECT_TRUE(waitUntil([&] { return windows() == shown; }, 30s)) << "a dialog stayed open";
  EXPECT_EQ(parvolin::test::readFile(recording_), before) << "the recording was replaced";
  EXPECT_TRUE(player->started());
  click(*window, kStop);
  EXPECT_TRUE(player->waitFor(20s)) << player->errors();
}

}  // namespace
}  // namespace parvolin::e2e
