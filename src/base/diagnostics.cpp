#include "base/diagnostics.h"

#include <cstdio>

namespace parvolin::base {

void StderrDiagnostics::report(std::string_view text) {
  std::fprintf(stderr, "parvolin: %.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace parvolin::base
