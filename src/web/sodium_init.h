#pragma once

namespace parvolin::web {

// Initialises libsodium once for the process (any thread may call it, any number of times).
// Aborts when the library cannot start: no password or session could be safe without it.
void ensureSodium();

}  // namespace parvolin::web
