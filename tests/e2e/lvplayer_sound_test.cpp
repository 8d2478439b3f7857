// lvplayer plays a recording through a real sound server: what the server's null sink plays is
// recorded and must be the recording's sound, byte for byte, to its very end.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/associations.h"
#include "e2e/desktop_session.h"
#include "e2e/emulated_call.h"
#include "player/test_support.h"
#include "support/test_files.h"

namespace parvolin::e2e {
namespace {

const std::filesystem::path kLvPlayer =
    std::filesystem::path(PARVOLIN_BINARY_DIR) / "programs" / "lvplayer";

// Where `expected` from sample `skipped` on lies in `captured`, when all of the rest of it is
// there; the capture may miss the first few milliseconds of the sound.
std::optional<std::size_t> findSound(const std::vector<std::uint8_t>& captured,
                                     const std::vector<std::uint8_t>& expected,
                                     std::size_t& skipped) {
  constexpr std::size_t kMostSkipped = 800;  // 100 ms
  for (skipped = 0; skipped <= kMostSkipped && skipped < expected.size(); ++skipped) {
    const auto rest = expected.begin() + static_cast<std::ptrdiff_t>(skipped);
    const auto at = std::search(captured.begin(), captured.end(), rest, expected.end());
    if (at != captured.end()) return static_cast<std::size_t>(at - captured.begin());
  }
  return std::nullopt;
}

TEST(LvPlayerSound, TheSoundServerPlaysExactlyTheRecordingsSound) {
  parvolin::test::TempFolder folder;
  SoundServer server(folder.path() / "pulse");
  ASSERT_TRUE(server.ready()) << server.errors();
  SoundCapture capture(server, folder.path() / "captured.u8");
  ASSERT_TRUE(capture.recording());

  // 18 mode-2 blocks of random codes: 24,480 samples, about 3 seconds of sound that matches
  // itself nowhere else.
  const auto recording = folder.path() / "w44819C25p4.LV2";
  const auto bytes = player::test::randomBytes(18 * codec::kAudioBlockSize, 42);
  parvolin::test::writeBytes(recording, bytes);
  auto env = server.env();
  env["QT_QPA_PLATFORM"] = "offscreen";
  ProgramRun player(kLvPlayer, {recording.string()}, env, folder.path(),
                    folder.path() / "player.out", folder.path() / "player.err");
  ASSERT_TRUE(player.started());
  const auto status = player.waitFor(60s);
  ASSERT_TRUE(status) << "lvplayer did not end";
  EXPECT_EQ(*status, 0) << player.errors();
  capture.stop();

  const auto expected = player::test::toPcm8(player::test::decodeWhole(bytes, 2));
  const auto captured = parvolin::test::readBytes(folder.path() / "captured.u8");
  std::size_t skipped = 0;
  const auto at = findSound(captured, expected, skipped);
  ASSERT_TRUE(at) << "the sound is not in the " << captured.size() << " captured bytes";
  EXPECT_LE(skipped, 800u);
}

// The whole road of a call: the recorder records it and registers the player for its files;
// the command its desktop entry gives, with the recording's path put in, plays the call.
TEST(LvPlayerSound, TheRecordersDesktopEntryPlaysAnEmulatedCall) {
  parvolin::test::TempFolder folder;
  const auto work = folder.path() / "recorder";
  const auto recording = recordEmulatedCall(work, R"(unit PV0001 mode=3
1.0 1/3 ring
1.5 1/3 answer
1.5 1/3 talk 2 speech:7
3.5 1/3 callend 5551234
)",
                                            ".LV3");
  ASSERT_FALSE(recording.empty());

  const auto entry = parvolin::test::readBytes(work / "data" / app::kPlayerDesktopFile);
  const std::string text(entry.begin(), entry.end());
  const auto exec = text.find("\nExec=\"");
  ASSERT_NE(exec, std::string::npos) << text;
  const auto programEnd = text.find('"', exec + 7);
  const std::string program = text.substr(exec + 7, programEnd - (exec + 7));
  ASSERT_EQ(text.substr(programEnd, 5), "\" %f\n");
  EXPECT_EQ(std::filesystem::path(program), kLvPlayer);

  SoundServer server(folder.path() / "pulse");
  ASSERT_TRUE(server.ready()) << server.errors();
  SoundCapture capture(server, folder.path() / "captured.u8");
  ASSERT_TRUE(capture.recording());
  auto env = server.env();
  env["QT_QPA_PLATFORM"] = "offscreen";
  ProgramRun player(program, {recording.string()}, env, recording.parent_path(),
                    folder.path() / "player.out", folder.path() / "player.err");
  const auto status = player.waitFor(60s);
  ASSERT_TRUE(status) << "lvplayer did not end";
  EXPECT_EQ(*status, 0) << player.errors();
  capture.stop();

  const auto bytes = parvolin::test::readBytes(recording);
  const auto expected = player::test::toPcm8(player::test::decodeWhole(bytes, 3));
  const auto captured = parvolin::test::readBytes(folder.path() / "captured.u8");
  std::size_t skipped = 0;
  EXPECT_TRUE(findSound(captured, expected, skipped))
      << "the call is not in the " << captured.size() << " captured bytes";
}

}  // namespace
}  // namespace parvolin::e2e
