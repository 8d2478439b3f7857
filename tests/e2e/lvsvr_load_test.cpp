// lvsvr under load: 100 browsers download a one-hour call at once, and every
// one gets the bytes of the WAV conversion, while a recorder on emulated units
// keeps ticking beside the server. Its own label (`load`, not `e2e`): it moves
// about 3 GB through the loopback.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <random>
#include <regex>
#include <thread>

#include <nlohmann/json.hpp>

#include "codec/lv_conversion.h"
#include "control/client.h"
#include "control/socket_path.h"
#include "e2e/headless_recorder.h"
#include "engine/recording_files.h"
#include "logview/list_builder.h"
#include "support/http_client.h"
#include "web/state_folder.h"
#include "web/users.h"

namespace parvolin::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

inline const fs::path kLvsvr = fs::path(PARVOLIN_BINARY_DIR) / "programs" / "lvsvr";

std::uint64_t ticksOf(const fs::path& folder) {
  std::string why;
  auto client = control::connectToRecorder(folder, why);
  if (!client || !client->send({{"cmd", "status"}, {"id", 1}})) return 0;
  const auto answer = client->answerTo(1, 5s);
  if (!answer || !answer->contains("status")) return 0;
  return (*answer)["status"].value("ticks", std::uint64_t{0});
}

class LvsvrLoad : public HeadlessRecorder {};

TEST_F(LvsvrLoad, HundredConcurrentDownloadsOfAnHourLongCallAllGetTheRightBytes) {
  const fs::path runtime = root_ / "runtime";
  fs::create_directories(runtime);
  ::chmod(runtime.c_str(), 0700);
  auto environment = env();
  environment["XDG_RUNTIME_DIR"] = runtime.string();
  environment["RUNTIME_DIRECTORY"] = "";

  // The served folder: one call of an hour, recorded in mode 3.
  const fs::path served = work() / "served";
  fs::create_directories(served);
  const logview::test::Call call{1, 1, 3600, "long"};
  test::writeFile(served / "ZEruTestNew.htm", logview::test::listOf({call}));
  const std::string name = engine::recordingFileName(call.start + 1, 0, 3, false);
  {
    std::string bytes(std::size_t{3600} * 8000, '\0');
    std::mt19937 random(11);
    for (char& byte : bytes) byte = static_cast<char>(random());
    test::writeFile(served / name, bytes);
  }
  ASSERT_TRUE(
      codec::convertLvFile(served / name, 3, root_ / "expected.wav", codec::OutputForm::kWav8, 0)
          .ok());
  const std::string expected = test::readFile(root_ / "expected.wav");
  const fs::path state = root_ / "web-state";
  ASSERT_FALSE(web::makeStateFolderProblem(state));
  web::UserStore users(state / web::kUsersFileName, web::HashCost::cheapest());
  ASSERT_FALSE(users.addProblem("lee", web::Role::kListener, "tidy-lantern-42"));

  // The recorder, recording calls of its own in its own folder meanwhile.
  const auto scenario = writeScenario("calls.scn",
                                      "unit PV0001\n0.5 1/1 ring\n+0.3 1/1 answer\n"
                                      "+0 1/1 talk 600 speech:1\n+600 1/1 callend 1\n");
  ProgramRun recorder(kParvolin,
                      {"--headless", "--simulate=" + scenario.string(), "--config",
                       (work() / "p.conf").string(), "--folder", "rec"},
                      environment, work(), root_ / "out.txt", root_ / "err.txt");
  ASSERT_TRUE(waitUntil([&] { return control::socketFromLock(work() / "rec").has_value(); }, 30s))
      << recorder.errors();
  ProgramRun server(kLvsvr,
                    {"--folder", served.string(), "--listen", "127.0.0.1:0", "--state",
                     state.string(), "--config", (work() / "p.conf").string()},
                    environment, work(), root_ / "lvsvr-out.txt", root_ / "lvsvr-err.txt");
  std::uint16_t port = 0;
  ASSERT_TRUE(waitUntil(
      [&] {
        std::smatch found;
        const std::string out = server.output();
        if (!std::regex_search(out, found, std::regex(R"(:(\d+)/)"))) return false;
        port = static_cast<std::uint16_t>(std::stoi(found[1]));
        return true;
      },
      20s))
      << server.errors();
  test::WebClient browser(port);
  ASSERT_EQ(browser.login("lee", "tidy-lantern-42").status, 200);
  const auto calls = nlohmann::json::parse(browser.get("/api/calls").body, nullptr, false);
  ASSERT_EQ(calls["total"], 1);
  const std::string target =
      "/api/calls/" + calls["calls"][0]["id"].get<std::string>() + "/download";

  constexpr int kDownloads = 100;
  std::atomic<int> right{0};
  std::atomic<std::uint64_t> bytes{0};
  const std::uint64_t ticksBefore = ticksOf(work() / "rec");
  const auto before = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int i = 0; i < kDownloads; ++i) {
    // Spread over four client addresses: one address may hold 64 connections.
    threads.emplace_back([&, i] {
      test::WebClient one(port, "127.0.0." + std::to_string(1 + i % 4));
      one.cookie = browser.cookie;
      std::size_t at = 0;
      bool same = true;
      const auto reply = one.get(target, {}, [&](std::string_view piece) {
        same = same && at + piece.size() <= expected.size() &&
               std::memcmp(expected.data() + at, piece.data(), piece.size()) == 0;
        at += piece.size();
      });
      bytes += at;
      if (reply.status == 200 && same && at == expected.size()) ++right;
    });
  }
  for (auto& thread : threads) thread.join();
  const auto took = std::chrono::steady_clock::now() - before;
  const std::uint64_t ticks = ticksOf(work() / "rec") - ticksBefore;
  const double seconds = std::chrono::duration<double>(took).count();
  std::printf(
      "[ figure ] %d downloads of %zu bytes: %.1f s, %llu bytes "
      "compared; recorder "
      "ticks meanwhile %llu (%.1f per second)\n",
      kDownloads, expected.size(), seconds, static_cast<unsigned long long>(bytes.load()),
      static_cast<unsigned long long>(ticks), double(ticks) / seconds);
  EXPECT_EQ(right, kDownloads);
  // The emulated units are polled every 35 ms: about 28 ticks a second. A
  // recorder starved by the server would fall far behind.
  EXPECT_GT(double(ticks) / seconds, 14.0);
  const auto status = nlohmann::json::parse(browser.get("/api/lines").body, nullptr, false);
  EXPECT_EQ(status["recorder"], "stopped") << "lvsvr serves another folder than the recorder's";
  recorder.signal(SIGTERM);
  EXPECT_EQ(recorder.wait(), 0) << recorder.errors();
  server.signal(SIGTERM);
  EXPECT_EQ(server.wait(), 0);
}

}  // namespace
}  // namespace parvolin::e2e
