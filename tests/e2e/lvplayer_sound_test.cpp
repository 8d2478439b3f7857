// lvplayer plays a recording through a real sound server: what the server's null sink plays is
// recorded and must be the recording's sound, byte for byte, to its very end.

#include <gtest/gtest.h>

#include <algorithm>

#include "codec/codec_test_files.h"
#include "e2e/desktop_session.h"
#include "player/test_support.h"

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
  codec::test::TempFolder folder;
  SoundServer server(folder.path() / "pulse");
  ASSERT_TRUE(server.ready()) << server.errors();
  SoundCapture capture(server, folder.path() / "captured.u8");
  ASSERT_TRUE(capture.recording());

  // 18 mode-2 blocks of random codes: 24,480 samples, about 3 seconds of sound that matches
  // itself nowhere else.
  const auto recording = folder.path() / "w44819C25p4.LV2";
  const auto bytes = player::test::randomBytes(18 * codec::kAudioBlockSize, 42);
  codec::test::writeBytes(recording, bytes);
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
  const auto captured = codec::test::readBytes(folder.path() / "captured.u8");
  std::size_t skipped = 0;
  const auto at = findSound(captured, expected, skipped);
  ASSERT_TRUE(at) << "the sound is not in the " << captured.size() << " captured bytes";
  EXPECT_LE(skipped, 800u);
}

}  // namespace
}  // namespace parvolin::e2e
