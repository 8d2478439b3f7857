#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "tools/pvtool_commands.h"

namespace parvolin::tools {

// Where pvtool web-user reads a new password: a terminal (twice, without echo) or one line of
// standard input.
class PasswordReader {
 public:
  virtual ~PasswordReader() = default;
  virtual bool terminal() const = 0;
  // The next password, after `prompt` on a terminal; nullopt at the end of the input.
  virtual std::optional<std::string> read(std::string_view prompt) = 0;
};

// The process's standard input: without echo when it is a terminal (the prompt on `err`).
class StandardPasswordReader final : public PasswordReader {
 public:
  explicit StandardPasswordReader(std::ostream& err) : err_(err) {}
  bool terminal() const override;
  std::optional<std::string> read(std::string_view prompt) override;

 private:
  std::ostream& err_;
};

// pvtool web-user with the password reader given. Exit status: kExitOk done, kExitFailed the
// users file could not be read or written or the change was refused (the message says why),
// kExitUsage usage.
int runWebUserWith(const Args& args, PasswordReader& passwords, std::ostream& out,
                   std::ostream& err);

}  // namespace parvolin::tools
