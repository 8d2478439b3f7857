#pragma once

// The lines' live state for the pages: a thread that holds a `watch` connection to the control
// socket of the folder's recorder, keeps its newest status, and connects again every
// `retry` while no recorder serves the folder.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include <nlohmann/json.hpp>

#include "control/status.h"

namespace parvolin::webserver {

class LiveLines {
 public:
  explicit LiveLines(std::filesystem::path folder,
                     std::chrono::milliseconds retry = std::chrono::seconds(2));
  ~LiveLines();
  LiveLines(const LiveLines&) = delete;
  LiveLines& operator=(const LiveLines&) = delete;

  struct View {
    bool running = false;      // a recorder serves the folder and sent its status
    std::uint64_t seq = 0;     // raised by every status received and by every loss
    std::int64_t updated = 0;  // seconds since 1970 of the last change
    std::optional<control::StatusSnapshot> status;  // only while running
  };
  View view() const;
  // Waits up to `timeout` for a view newer than `seq`; the newest view either way.
  View waitNewer(std::uint64_t seq, std::chrono::milliseconds timeout) const;

 private:
  void run();
  void publish(std::optional<control::StatusSnapshot> status);
  bool sleepFor(std::chrono::milliseconds time);  // false when stopping

  std::filesystem::path folder_;
  std::chrono::milliseconds retry_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  View view_;
  bool stopping_ = false;
  std::thread thread_;
};

// The answer of GET /api/lines.
nlohmann::json linesJson(const LiveLines::View& view);

}  // namespace parvolin::webserver
