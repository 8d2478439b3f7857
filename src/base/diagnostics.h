#pragma once

#include <string_view>

namespace parvolin::base {

// Problems the user is told about although no message box of the system covers them: a file
// that cannot be written, a lost unit, a capture that stopped. The window shows them in a status
// line, the headless recorder on standard error.
class Diagnostics {
 public:
  virtual ~Diagnostics() = default;
  virtual void report(std::string_view text) = 0;
};

class StderrDiagnostics final : public Diagnostics {
 public:
  void report(std::string_view text) override;
};

}  // namespace parvolin::base
