#include "player/player_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "codec/dava.h"
#include "player/silent_wave_output.h"
#include "player/test_support.h"
#include "support/scripted_prompt.h"

namespace parvolin::player::test {
namespace {

using parvolin::test::readBytes;
using parvolin::test::TempFolder;
using parvolin::test::writeBytes;

constexpr std::size_t kBlock = codec::kAudioBlockSize;

class PlayerEngineTest : public ::testing::Test {
 protected:
  std::filesystem::path writeRecording(const std::vector<std::uint8_t>& bytes,
                                       const std::string& name = "w44819C25p4.LV1") {
    const auto path = folder_.path() / name;
    writeBytes(path, bytes);
    return path;
  }
  std::unique_ptr<PlayerEngine> makeEngine(PlayerOptions options = {}) {
    if (options.storeFolder == std::filesystem::temp_directory_path())
      options.storeFolder = store();
    return std::make_unique<PlayerEngine>(clock_, prompt_, output_, view_, options);
  }
  // A started player of `bytes` in `mode`.
  std::unique_ptr<PlayerEngine> play(const std::vector<std::uint8_t>& bytes, int mode,
                                     PlayerOptions options = {}) {
    auto engine = makeEngine(options);
    auto file = RecordingFile::open(writeRecording(bytes));
    EXPECT_TRUE(file);
    EXPECT_TRUE(engine->loadAndStart(std::move(*file), mode));
    return engine;
  }
  void tickAfter(PlayerEngine& engine, std::int64_t ms) {
    clock_.advanceMs(ms);
    engine.tick();
  }
  std::filesystem::path store() {
    const auto folder = folder_.path() / "store";
    std::filesystem::create_directories(folder);
    return folder;
  }
  // Where the last buffer handed to the output starts, in samples of the play buffer.
  std::ptrdiff_t lastPlayStart(const PlayerEngine& engine) const {
    return output_.written.back().data() - engine.playBuffer().data();
  }
  std::vector<std::string> messages() const {
    std::vector<std::string> texts;
    for (const auto& shown : prompt_.shown) texts.push_back(shown.text);
    return texts;
  }

  TempFolder folder_;
  base::VirtualClock clock_;
  parvolin::test::ScriptedPrompt prompt_;
  SilentWaveOutput output_{prompt_};
  FakeView view_;
};

TEST_F(PlayerEngineTest, ThreeMode1BlocksEndAtTheFirstTickPast768Ms) {
  auto engine = play(randomBytes(3 * kBlock, 1), 1);
  EXPECT_EQ(engine->sampleCount(), 6144u);
  ASSERT_EQ(output_.written.size(), 1u);
  EXPECT_EQ(output_.written[0].size(), 6144u);
  for (int t = 1; t <= 3; ++t) {
    tickAfter(*engine, kTickPeriodMs);
    EXPECT_FALSE(view_.ended) << "tick " << t;
  }
  EXPECT_EQ(view_.slider, 750u * 8);
  EXPECT_EQ(view_.timeText, "0'0\" / 0'0\"");
  tickAfter(*engine, kTickPeriodMs);
  EXPECT_TRUE(view_.ended);
  EXPECT_TRUE(engine->ended());
  // The end of play lets the device play out what it holds before closing it.
  EXPECT_EQ(output_.steps.back(), "close");
  EXPECT_EQ(output_.steps[output_.steps.size() - 3], "drain");
  EXPECT_TRUE(messages().empty());
}

TEST_F(PlayerEngineTest, ReleasingTheSliderMovesToWholeMilliseconds) {
  auto engine = play(randomBytes(40 * kBlock, 2), 1);
  engine->seekTo(12345);
  EXPECT_EQ(engine->elapsedMs(), 1543u);
  EXPECT_EQ(lastPlayStart(*engine), 12344);
  EXPECT_EQ(output_.written.back().size(), engine->sampleCount() - 12344);

  // A paused player stays paused at the new position and plays from it on resume.
  engine->pausePlay();
  const auto plays = output_.written.size();
  engine->seekTo(20000);
  EXPECT_EQ(output_.written.size(), plays);
  EXPECT_EQ(engine->elapsedMs(), 2500u);
  engine->pausePlay();
  EXPECT_EQ(lastPlayStart(*engine), 20000);
}

TEST_F(PlayerEngineTest, PauseAndPlayWithinATickResumeFromTheLastTick) {
  auto engine = play(randomBytes(40 * kBlock, 3), 1);
  tickAfter(*engine, 250);
  clock_.advanceMs(100);
  engine->pausePlay();
  EXPECT_TRUE(engine->paused());
  EXPECT_EQ(view_.playingIcon, false);
  EXPECT_EQ(output_.steps.back(), "reset");
  tickAfter(*engine, 250);  // paused: the position stands
  EXPECT_EQ(engine->elapsedMs(), 250u);
  clock_.advanceMs(50);
  engine->pausePlay();
  EXPECT_EQ(view_.playingIcon, true);
  EXPECT_EQ(lastPlayStart(*engine), 2000);
  // The clock counts from the resume, not from the last tick.
  tickAfter(*engine, 100);
  EXPECT_EQ(engine->elapsedMs(), 350u);
}

TEST_F(PlayerEngineTest, DraggingStopsTheSoundAndShowsTheSliderPosition) {
  auto engine = play(randomBytes(40 * kBlock, 4), 1);
  view_.dragging = true;
  view_.slider = 8000 * 61;
  tickAfter(*engine, 250);
  EXPECT_EQ(output_.steps.back(), "reset");
  EXPECT_EQ(view_.slider, 8000u * 61);  // the engine leaves a held slider alone
  EXPECT_EQ(view_.timeText, "1'1\" / 0'10\"");
  // Held past the end, the player does not end until the slider is let go.
  tickAfter(*engine, 20000);
  EXPECT_FALSE(engine->ended());
  view_.dragging = false;
  engine->seekTo(8000);
  tickAfter(*engine, 250);
  EXPECT_EQ(engine->elapsedMs(), 1250u);
  EXPECT_FALSE(engine->ended());
}

TEST_F(PlayerEngineTest, WithoutASoundDeviceTheMessageShowsOnceAndTheClockRuns) {
  output_.deviceAvailable = false;
  auto engine = play(randomBytes(8 * kBlock, 5), 1);
  EXPECT_EQ(messages(), std::vector<std::string>{"Device failed to open 1!"});
  engine->pausePlay();
  engine->pausePlay();
  engine->seekTo(100);
  EXPECT_TRUE(output_.written.empty());
  // 16384 samples: 2048 ms, passed at the ninth tick from the 12 ms the seek left.
  for (int t = 0; t < 20 && !engine->ended(); ++t) tickAfter(*engine, kTickPeriodMs);
  EXPECT_TRUE(engine->ended());
  EXPECT_EQ(view_.slider, (12u + 9 * 250) * 8);
  EXPECT_EQ(messages().size(), 1u);
}

struct DeviceFailure {
  bool openWorks;
  WaveWriteResult write;
  const char* message;
};

TEST_F(PlayerEngineTest, DeviceFailuresShowTheirMessageAndTheSoundStaysOff) {
  const DeviceFailure failures[] = {
      {false, WaveWriteResult::kDone, "Device failed to open 2!"},
      {true, WaveWriteResult::kInvalidHandle, "Audio device fails!"},
      {true, WaveWriteResult::kNoDriver, "No available audio device!"},
      {true, WaveWriteResult::kNoMemory, "Memory fails!"},
      {true, WaveWriteResult::kOtherPrepareError, "Unkown error!"},
      {true, WaveWriteResult::kWriteFailed, "Play failed!"},
  };
  for (const auto& failure : failures) {
    prompt_.shown.clear();
    output_.openWorks = failure.openWorks;
    output_.writeResult = failure.write;
    auto engine = play(randomBytes(8 * kBlock, 6), 1);
    EXPECT_FALSE(output_.isOpen()) << failure.message;
    engine->pausePlay();
    engine->pausePlay();
    ASSERT_EQ(prompt_.shown.size(), 1u) << failure.message;
    EXPECT_EQ(prompt_.shown[0].text, failure.message);
    EXPECT_EQ(prompt_.shown[0].icon, base::PromptIcon::Exclamation);
  }
}

TEST_F(PlayerEngineTest, TheSoundIsExactlyTheWholeFileDecodedAtOnce) {
  // Several decoding steps, and files that end in part of a block.
  const std::pair<int, std::size_t> cases[] = {
      {0, 5000 * kBlock + 100},
      {1, 1300 * kBlock + 301},
      {2, 2100 * kBlock + 77},
      {3, 5000 * kBlock},
      {2, 3},
      {1, 0},
  };
  for (const auto& [mode, length] : cases) {
    SCOPED_TRACE("mode " + std::to_string(mode) + ", " + std::to_string(length) + " bytes");
    const auto bytes = randomBytes(length, static_cast<unsigned>(length));
    auto engine = play(bytes, mode);
    const auto whole = decodeWhole(bytes, mode);
    ASSERT_EQ(engine->sampleCount(), whole.size());
    EXPECT_EQ(output_.written.back().size(), whole.size());
    while (engine->decodeMore()) {
    }
    ASSERT_TRUE(engine->decodingDone());
    const auto sound = engine->playBuffer();
    EXPECT_TRUE(std::equal(sound.begin(), sound.end(), toPcm8(whole).begin()));
    std::vector<std::int16_t> stored(whole.size());
    ASSERT_TRUE(engine->sampleStore()->read(stored));
    EXPECT_EQ(stored, whole);
  }
}

TEST_F(PlayerEngineTest, AFileThatShrinksWhilePlayingPlaysWhatWasReadThenSilence) {
  // Mode 1: 512 blocks a decoding step, so the start reads only the first step.
  const auto bytes = randomBytes(1300 * kBlock, 11);
  struct Case {
    std::size_t keptBytes;  // what is left of the file after the start
    std::size_t readBytes;  // what the player gets of it
  };
  for (const auto& [kept, read] : {Case{700 * kBlock + 101, 700 * kBlock + 101},
                                   Case{100 * kBlock, 512 * kBlock}, Case{0, 512 * kBlock}}) {
    SCOPED_TRACE(std::to_string(kept) + " bytes left");
    const auto path = writeRecording(bytes);
    auto engine = makeEngine();
    ASSERT_TRUE(engine->loadAndStart(std::move(*RecordingFile::open(path)), 1));
    std::filesystem::resize_file(path, kept);
    while (engine->decodeMore()) {
    }
    ASSERT_TRUE(engine->decodingDone());
    ASSERT_EQ(engine->sampleCount(), codec::sampleCountFor(bytes.size(), 1));
    const auto played = toPcm8(decodeWhole({bytes.begin(), bytes.begin() + long(read)}, 1));
    const auto sound = engine->playBuffer();
    EXPECT_TRUE(std::equal(played.begin(), played.end(), sound.begin()));
    EXPECT_TRUE(std::all_of(sound.begin() + long(played.size()), sound.end(),
                            [](std::uint8_t b) { return b == codec::toUnsigned8(0); }));
    std::vector<std::int16_t> stored(sound.size());
    ASSERT_TRUE(engine->sampleStore()->read(stored));
    EXPECT_TRUE(std::all_of(stored.begin() + long(played.size()), stored.end(),
                            [](std::int16_t v) { return v == 0; }));
    tickAfter(*engine, engine->sampleCount() / 8);
    EXPECT_TRUE(engine->ended());
  }
}

TEST_F(PlayerEngineTest, ASeekBeyondTheDecodedPartDecodesUpToItFirst) {
  const auto bytes = randomBytes(1300 * kBlock, 7);
  auto engine = play(bytes, 1);
  EXPECT_FALSE(engine->decodingDone());
  const std::uint32_t target = engine->sampleCount() - 8000;
  engine->seekTo(target);
  const auto whole = toPcm8(decodeWhole(bytes, 1));
  const auto sound = engine->playBuffer();
  EXPECT_TRUE(std::equal(sound.begin() + target, sound.end(), whole.begin() + target));
}

TEST_F(PlayerEngineTest, DavaAdjustsTheUnadjustedSamplesAndStartsAgainFromZero) {
  // A quiet recording, so that the adjustment amplifies it.
  std::vector<std::uint8_t> bytes(20 * kBlock);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(128 + (i % 7) - 3);
  auto engine = play(bytes, 0);
  const auto unadjusted = toPcm8(decodeWhole(bytes, 0));
  tickAfter(*engine, 500);
  for (const int level : {2, 1}) {
    engine->applyPlayerDava(level);
    auto expected = decodeWhole(bytes, 0);
    codec::DavaGainState gain;
    codec::applyDava(expected, level, gain);
    const auto sound = engine->playBuffer();
    EXPECT_TRUE(std::equal(sound.begin(), sound.end(), toPcm8(expected).begin())) << level;
    EXPECT_TRUE(view_.davaButtonsHidden);
    EXPECT_EQ(engine->elapsedMs(), 0u);
    EXPECT_FALSE(engine->paused());
    EXPECT_EQ(lastPlayStart(*engine), 0);
  }
  engine->applyPlayerDava(2);
  const auto louder = engine->playBuffer();
  EXPECT_FALSE(std::equal(louder.begin(), louder.end(), unadjusted.begin()));

  // A paused player comes out of the adjustment paused, at the beginning.
  tickAfter(*engine, 500);
  engine->pausePlay();
  engine->applyPlayerDava(2);
  EXPECT_TRUE(engine->paused());
  EXPECT_EQ(engine->elapsedMs(), 0u);
  EXPECT_EQ(view_.playingIcon, false);
}

TEST_F(PlayerEngineTest, SeveralPlayersRunAtOnceAndLeaveNoFileBehind) {
  const auto bytes = randomBytes(600 * kBlock, 8);
  const auto path = writeRecording(bytes);
  std::vector<std::unique_ptr<FakeView>> views;
  std::vector<std::unique_ptr<SilentWaveOutput>> outputs;
  std::vector<std::unique_ptr<PlayerEngine>> players;
  for (int i = 0; i < 6; ++i) {
    views.push_back(std::make_unique<FakeView>());
    outputs.push_back(std::make_unique<SilentWaveOutput>(prompt_));
    PlayerOptions options;
    options.storeFolder = store();
    players.push_back(
        std::make_unique<PlayerEngine>(clock_, prompt_, *outputs.back(), *views.back(), options));
    ASSERT_TRUE(players.back()->loadAndStart(std::move(*RecordingFile::open(path)), 1));
  }
  for (auto& player : players) {
    while (player->decodeMore()) {
    }
    EXPECT_TRUE(player->sampleStore()->inFile());
    player->applyPlayerDava(1);
  }
  EXPECT_TRUE(std::filesystem::is_empty(store()));
  for (std::size_t i = 1; i < players.size(); ++i) {
    const auto a = players[0]->playBuffer(), b = players[i]->playBuffer();
    EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end()));
  }
  EXPECT_TRUE(prompt_.shown.empty());
}

TEST_F(PlayerEngineTest, WithoutAPlaceForTheStoreTheSamplesStayInMemory) {
  const auto bytes = randomBytes(20 * kBlock, 9);
  PlayerOptions options;
  options.storeFolder = folder_.path() / "missing";
  auto engine = play(bytes, 1, options);
  EXPECT_FALSE(engine->sampleStore()->inFile());
  engine->applyPlayerDava(2);
  auto expected = decodeWhole(bytes, 1);
  codec::DavaGainState gain;
  codec::applyDava(expected, 2, gain);
  const auto sound = engine->playBuffer();
  EXPECT_TRUE(std::equal(sound.begin(), sound.end(), toPcm8(expected).begin()));
  EXPECT_TRUE(prompt_.shown.empty());
}

TEST_F(PlayerEngineTest, OutOfMemoryShowsItsMessageAndEndsThePlayer) {
  const auto bytes = randomBytes(40 * kBlock, 10);  // 81920 samples
  struct Case {
    std::size_t limit;
    const char* message;
  };
  for (const auto& [limit, message] :
       {Case{81919, "Not enough memory for wave playing!"},
        Case{81920 + 20480, "Not enough memory for wave data conversion!"}}) {
    prompt_.shown.clear();
    PlayerOptions options;
    options.memoryLimitBytes = limit;
    auto engine = makeEngine(options);
    EXPECT_FALSE(engine->loadAndStart(std::move(*RecordingFile::open(writeRecording(bytes))), 1));
    EXPECT_EQ(messages(), std::vector<std::string>{message});
  }

  // Enough to play (the sound and one decoding step of a million samples) is enough
  // for the adjustment too: it works through pieces of a million bytes, never a 16-bit copy of
  // the whole sound (8 MB here, beyond the limit), and gives the sound the whole copy gives.
  const auto large = randomBytes(2048 * kBlock + 3, 10);
  auto expected = decodeWhole(large, 1);
  codec::DavaGainState gain;
  codec::applyDava(expected, 1, gain);
  // The unadjusted samples in the store's file, and in memory where it has no place.
  for (const bool inFile : {true, false}) {
    prompt_.shown.clear();
    PlayerOptions options;
    options.memoryLimitBytes = 8 << 20;
    if (!inFile) options.storeFolder = folder_.path() / "missing";
    auto engine = play(large, 1, options);
    EXPECT_TRUE(prompt_.shown.empty());
    engine->applyPlayerDava(1);
    EXPECT_TRUE(prompt_.shown.empty());
    EXPECT_FALSE(engine->ended());
    EXPECT_EQ(engine->sampleStore()->inFile(), inFile);
    const auto sound = engine->playBuffer();
    ASSERT_EQ(sound.size(), expected.size());
    EXPECT_TRUE(std::equal(sound.begin(), sound.end(), toPcm8(expected).begin())) << inFile;
  }
}

TEST_F(PlayerEngineTest, AnEmptyRecordingEndsAtTheFirstTick) {
  auto engine = play({}, 2);
  EXPECT_EQ(engine->sampleCount(), 0u);
  tickAfter(*engine, kTickPeriodMs);
  EXPECT_TRUE(engine->ended());
}

TEST_F(PlayerEngineTest, StopClosesAtOnceAndEverythingStops) {
  auto engine = play(randomBytes(40 * kBlock, 11), 1);
  engine->stopAndExit();
  EXPECT_TRUE(view_.ended);
  EXPECT_EQ(output_.steps.back(), "close");
  EXPECT_EQ(std::count(output_.steps.begin(), output_.steps.end(), "drain"), 0);
  const auto steps = output_.steps.size();
  engine->pausePlay();
  engine->seekTo(10);
  engine->tick();
  EXPECT_EQ(output_.steps.size(), steps);
}

TEST_F(PlayerEngineTest, TheWavSaveWritesTheCurrentSoundAndAlwaysPlaysOn) {
  const auto bytes = randomBytes(1300 * kBlock, 12);
  auto engine = play(bytes, 1);
  FakeSaveDialog dialog;
  const auto target = folder_.path() / "copy.WAV";
  dialog.answer = target;
  engine->pausePlay();  // even a paused player plays after the save
  engine->saveWavCopy("/calls/w44819C25p4.LV1", dialog);
  EXPECT_EQ(messages(), std::vector<std::string>{"WAVE file has been saved. Click for playback!"});
  EXPECT_FALSE(engine->paused());
  const auto written = readBytes(target);
  ASSERT_EQ(written.size(), codec::kWavHeaderSize + engine->sampleCount());
  const auto whole = toPcm8(decodeWhole(bytes, 1));
  EXPECT_TRUE(std::equal(written.begin() + codec::kWavHeaderSize, written.end(), whole.begin()));
  EXPECT_EQ(dialog.proposed + ".WAV", codec::proposedWavName("w44819C25p4.LV1"));

  prompt_.shown.clear();
  dialog.answer = std::nullopt;
  engine->saveWavCopy("w44819C25p4.LV1", dialog);
  EXPECT_TRUE(prompt_.shown.empty());
  EXPECT_FALSE(engine->paused());

  dialog.answer = folder_.path() / "no such folder" / "x.WAV";
  engine->saveWavCopy("w44819C25p4.LV1", dialog);
  EXPECT_EQ(messages(),
            std::vector<std::string>{"Failed to create the named WAVE file. Click for playback!"});
  EXPECT_FALSE(engine->paused());
}

}  // namespace
}  // namespace parvolin::player::test
