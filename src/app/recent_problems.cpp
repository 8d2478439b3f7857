#include "app/recent_problems.h"

#include "base/clock.h"

namespace parvolin::app {

void RecentProblems::add(std::int64_t wallSeconds, std::string_view text) {
  if (!problems_.empty() && problems_.front().text == text) {
    problems_.front().wallSeconds = wallSeconds;
    ++problems_.front().count;
    return;
  }
  problems_.push_front({wallSeconds, std::string(text), 1});
  if (problems_.size() > kKept) problems_.pop_back();
}

std::string RecentProblems::line(const Problem& problem) {
  std::string text =
      base::localTimeText(problem.wallSeconds, base::kTimeOfDayFormat) + "  " + problem.text;
  if (problem.count > 1) text += " (" + std::to_string(problem.count) + " times)";
  return text;
}

std::string RecentProblems::latestLine() const {
  return problems_.empty() ? std::string() : line(problems_.front());
}

std::string RecentProblems::listText() const {
  std::string text;
  for (const Problem& problem : problems_) {
    if (!text.empty()) text += '\n';
    text += line(problem);
  }
  return text;
}

}  // namespace parvolin::app
