#include "webserver/live_lines.h"

#include <ctime>

#include "control/client.h"

namespace parvolin::webserver {

using nlohmann::json;

LiveLines::LiveLines(std::filesystem::path folder, std::chrono::milliseconds retry)
    : folder_(std::move(folder)), retry_(retry) {
  thread_ = std::thread([this] { run(); });
}

LiveLines::~LiveLines() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

LiveLines::View LiveLines::view() const {
  std::lock_guard lock(mutex_);
  return view_;
}

LiveLines::View LiveLines::waitNewer(std::uint64_t seq, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return view_.seq > seq || stopping_; });
  return view_;
}

void LiveLines::publish(std::optional<control::StatusSnapshot> status) {
  {
    std::lock_guard lock(mutex_);
    if (!status && !view_.running && view_.seq != 0) return;  // still gone
    view_.running = status.has_value();
    view_.status = std::move(status);
    ++view_.seq;
    view_.updated = static_cast<std::int64_t>(std::time(nullptr));
  }
  changed_.notify_all();
}

bool LiveLines::sleepFor(std::chrono::milliseconds time) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, time, [&] { return stopping_; });
}

void LiveLines::run() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
    }
    std::string why;
    std::optional<control::ControlClient> client = control::connectToRecorder(folder_, why);
    if (client && client->send(json{{"cmd", "watch"}, {"id", "lvsvr-watch"}})) {
      for (;;) {
        {
          std::lock_guard lock(mutex_);
          if (stopping_) return;
        }
        const auto message = client->receive(std::chrono::milliseconds(250));
        if (!message) {
          if (client->timedOut()) continue;
          break;  // the recorder went, or sent what is not ours
        }
        if (message->value("event", "") != "status" || !message->contains("status")) continue;
        if (auto status = control::statusFromJson((*message)["status"])) {
          publish(std::move(status));
        }
      }
    }
    publish(std::nullopt);
    if (!sleepFor(retry_)) return;
  }
}

namespace {

json capacityJson(const control::StatusSnapshot& status) {
  auto count = [](std::int32_t value) { return value < 0 ? json() : json(value); };
  return {{"calls", count(status.loggedItems)},
          {"callLimit", status.itemLimit},
          {"megabytes", count(status.loggedMegabytes)},
          {"megabyteLimit", status.spaceLimitMb},
          {"free", status.capacity.freeText.empty() ? json() : json(status.capacity.freeText)},
          {"callsText", status.capacity.itemsText},
          {"spaceText", status.capacity.spaceText}};
}

}  // namespace

json linesJson(const LiveLines::View& view) {
  json answer{{"recorder", view.running ? "running" : "stopped"},
              {"seq", view.seq},
              {"updated", view.updated},
              {"lines", json::array()},
              {"capacity", nullptr},
              {"problems", json::array()}};
  if (!view.status) return answer;
  const control::StatusSnapshot& status = *view.status;
  for (std::size_t i = 0; i < status.lines.size(); ++i) {
    const std::size_t unit = i / 4;
    const bool served = unit < status.units.size() && status.units[unit].present;
    answer["lines"].push_back({{"line", i + 1},
                               {"unit", unit},
                               {"port", i % 4},
                               {"served", served},
                               {"status", status.lines[i].status},
                               {"detail", status.lines[i].detail},
                               {"inCall", status.lines[i].inCall}});
  }
  answer["capacity"] = capacityJson(status);
  for (const control::ProblemStatus& problem : status.problems) {
    answer["problems"].push_back(
        {{"time", problem.wallSeconds}, {"text", problem.text}, {"count", problem.count}});
  }
  return answer;
}

}  // namespace parvolin::webserver
