// libFuzzer target: any bytes as the HTML call list, parsed, sorted, searched, edited, deleted
// from and converted in a batch.

#include "list_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return parvolin::fuzz::runFuzzInput(parvolin::fuzz::listFuzzCheck, data, size);
}
