#include "base/diagnostics.h"

#include <cstdio>

#include "base/program_text.h"

namespace parvolin::base {

void StderrDiagnostics::report(std::string_view text) {
  // File names and texts from files in the message are shown escaped.
  std::fprintf(stderr, "parvolin: %s\n", printableLines(text).c_str());
}

}  // namespace parvolin::base
