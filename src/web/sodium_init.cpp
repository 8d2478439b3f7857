#include "web/sodium_init.h"

#include <sodium.h>

#include <cstdio>
#include <cstdlib>

namespace parvolin::web {

void ensureSodium() {
  static const bool started = [] {
    if (sodium_init() < 0) {
      std::fputs("libsodium cannot start\n", stderr);
      std::abort();
    }
    return true;
  }();
  (void)started;
}

}  // namespace parvolin::web
