#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/headless.h"
#include "base/diagnostics.h"
#include "engine/stream_capture.h"
#include "settings/settings_store.h"
#include "support/collecting_diagnostics.h"
#include "support/test_files.h"

namespace parvolin::app {
namespace {

// The current directory of the test process, restored when the test ends.
class KeepWorkingDirectory {
 public:
  KeepWorkingDirectory() : saved_(std::filesystem::current_path()) {}
  ~KeepWorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(saved_, ignored);
  }

 private:
  std::filesystem::path saved_;
};

// A replay whose folder cannot be made records nowhere: it fails instead of putting the calls
// into whatever directory the program was started in.
TEST(ReplayRun, FolderThatCannotBeMadeFailsAndWritesNothingElsewhere) {
  test::TempFolder temp;
  KeepWorkingDirectory keep;
  const auto start = temp / "start";
  std::filesystem::create_directory(start);
  std::filesystem::current_path(start);
  std::FILE* blocker = std::fopen((temp / "blocker").c_str(), "w");
  ASSERT_NE(blocker, nullptr);
  std::fclose(blocker);

  // One audio block on port 1: a replay into a usable folder leaves its audio file there.
  engine::CaptureHeader header;
  header.startEpoch = 1700000000;
  header.units[0].flags = engine::kUnitListed | engine::kUnitIdle | engine::kUnitSetUp;
  {
    test::NullDiagnostics diagnostics;
    std::error_code error;
    auto writer = engine::CaptureWriter::create(temp / "calls.pvcap", header, diagnostics, error);
    ASSERT_TRUE(writer) << error.message();
    std::vector<std::uint8_t> bytes(2 + 512, 0x80);
    bytes[0] = 0;
    bytes[1] = 6;
    writer->append(0, bytes, std::int64_t(header.startEpoch) * 1000 + 100);
    writer->flush();
  }

  ParvolinOptions options;
  options.replay = temp / "calls.pvcap";
  options.folder = temp / "blocker" / "rec";
  settings::MemorySettingsStore store;
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  const HeadlessRun run{options, store, temp.path(), out};
  EXPECT_NE(runReplay(run), 0);
  std::fclose(out);
  EXPECT_TRUE(std::filesystem::is_empty(start));

  // The same capture into a folder that can be made.
  options.folder = temp / "rec";
  std::FILE* out2 = std::tmpfile();
  const HeadlessRun run2{options, store, temp.path(), out2};
  EXPECT_EQ(runReplay(run2), 0);
  std::fclose(out2);
  EXPECT_FALSE(std::filesystem::is_empty(temp / "rec"));
  EXPECT_TRUE(std::filesystem::is_empty(start));
}

}  // namespace
}  // namespace parvolin::app
