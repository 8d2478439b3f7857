// The recordings' files on their own: a name never replaces a file, a call's end leaves a file
// only when audio reached it, and what a full disk does not take is held, not lost.

#include "engine/audio_files.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/recording_files.h"
#include "support/collecting_diagnostics.h"
#include "support/full_disk.h"
#include "support/scripted_prompt.h"
#include "support/test_files.h"

namespace parvolin::engine {
namespace {

using parvolin::test::FullDisk;
using parvolin::test::readFile;
using parvolin::test::TempFolder;
using parvolin::test::writeFile;

constexpr std::uint32_t kStart = 1234567890;
constexpr std::uint32_t kBlock = 512;

struct Files {
  TempFolder folder;
  base::VirtualClock clock;
  RecorderSettings settings;
  ::parvolin::test::ScriptedPrompt prompt;
  ::parvolin::test::CollectingDiagnostics diagnostics;
  DiagnosticOnce failures{diagnostics};
  AudioFiles audio{folder.path(), clock, settings, prompt, diagnostics, failures};

  // Port 1 in a call begun at kStart, its buffer holding `blocks` blocks of `fill`.
  PortState port(std::uint32_t blocks, char fill) {
    PortState p;
    p.record.portIndex = 0;
    p.record.startTime = kStart;
    p.record.firstAudioSec = 1;
    p.audioFolder = folder.path();
    p.audioFileMode = 3;
    p.audioBuffer = std::make_unique<std::uint8_t[]>(16 * kBlock);
    std::fill_n(p.audioBuffer.get(), blocks * kBlock, std::uint8_t(fill));
    p.audioFill = blocks * kBlock;
    return p;
  }
  std::string name(std::uint32_t start) const { return recordingFileName(start, 0, 3, false); }
};

TEST(AudioFiles, ATakenNameMovesTheCallOnASecondAndLeavesTheOtherFileAlone) {
  Files f;
  writeFile(f.folder / f.name(kStart), "another call");
  PortState port = f.port(2, 'a');
  ASSERT_TRUE(f.audio.create(port));
  EXPECT_EQ(port.record.startTime, kStart + 1);
  EXPECT_EQ(port.audioFileName, f.name(kStart + 1));
  f.audio.finish(port, CallKept::kYes);
  EXPECT_EQ(readFile(f.folder / f.name(kStart)), "another call");
  EXPECT_EQ(readFile(f.folder / f.name(kStart + 1)), std::string(2 * kBlock, 'a'));
  EXPECT_FALSE(port.audioFile.isOpen());
}

TEST(AudioFiles, CallWhoseAudioNeverReachedItsFileLeavesNoEmptyFileButItsAudioHeld) {
  Files f;
  PortState port = f.port(3, 'b');
  ASSERT_TRUE(f.audio.create(port));
  {
    FullDisk disk(0);
    f.audio.finish(port, CallKept::kYes);
  }
  EXPECT_FALSE(std::filesystem::exists(f.folder / port.audioFileName));
  EXPECT_EQ(port.audioFill, 0u) << "the port is free for the next call";
  EXPECT_EQ(f.audio.held().recordings(), 1u);
  EXPECT_EQ(f.audio.retryHeld(/*whenDue=*/false), 3u);
  EXPECT_EQ(readFile(f.folder / port.audioFileName), std::string(3 * kBlock, 'b'));
}

TEST(AudioFiles, DroppedCallLeavesNothingAndItsLostAudioIsNotMissed) {
  Files f;
  PortState port = f.port(2, 'c');
  ASSERT_TRUE(f.audio.create(port));
  f.audio.writeBuffered(port);
  ASSERT_EQ(readFile(f.folder / port.audioFileName).size(), 2u * kBlock);
  f.audio.held().countLost(port.audioFileName, 3, 4);
  f.audio.drop(port);
  EXPECT_FALSE(std::filesystem::exists(f.folder / port.audioFileName));
  UnwrittenSummary summary;
  f.audio.held().addTo(summary);
  EXPECT_TRUE(summary.empty());
}

}  // namespace
}  // namespace parvolin::engine
