#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"

namespace parvolin::test {

// Keeps every line reported, in order.
class CollectingDiagnostics final : public base::Diagnostics {
 public:
  void report(std::string_view text) override { lines.emplace_back(text); }
  std::vector<std::string> lines;
};

// Drops every line.
class NullDiagnostics final : public base::Diagnostics {
 public:
  void report(std::string_view) override {}
};

}  // namespace parvolin::test
