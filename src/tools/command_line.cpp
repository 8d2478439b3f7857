#include "tools/command_line.h"

#include <cstdarg>
#include <cstdio>

#include "base/exit_status.h"

namespace parvolin::tools {

int usageError(std::ostream& err, std::string_view command, std::string_view help,
               std::string_view problem) {
  err << "pvtool " << command << ": " << problem << '\n' << help;
  return base::kExitUsage;
}

std::string formatted(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (length > 0) {
    text.resize(std::size_t(length));
    // vsnprintf writes the terminating NUL into the string's own terminator.
    std::vsnprintf(text.data(), text.size() + 1, format, again);
  }
  va_end(again);
  return text;
}

}  // namespace parvolin::tools
