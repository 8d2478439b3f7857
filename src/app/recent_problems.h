#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace parvolin::app {

// The problems the recorder reported during the run (a file that could not be written, a lost
// unit), for the window's status line: the latest with its time, and a list of the recent ones.
// A problem reported again right after itself is counted rather than listed twice.
class RecentProblems {
 public:
  static constexpr std::size_t kKept = 20;

  // `wallSeconds` is the time of the report in seconds since 1970.
  void add(std::int64_t wallSeconds, std::string_view text);

  bool empty() const { return problems_.empty(); }
  // "HH:MM:SS  text" in local time, with " (N times)" for a repeated problem; empty without
  // problems.
  std::string latestLine() const;
  // The kept problems one a line, newest first.
  std::string listText() const;

 private:
  struct Problem {
    std::int64_t wallSeconds = 0;
    std::string text;
    int count = 1;
  };
  static std::string line(const Problem& problem);

  std::deque<Problem> problems_;  // newest first
};

}  // namespace parvolin::app
