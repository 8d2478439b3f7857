// libFuzzer target: any text as a scenario of emulated units.

#include "scenario_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return parvolin::fuzz::runFuzzInput(parvolin::fuzz::scenarioFuzzCheck, data, size,
                                      parvolin::fuzz::FuzzFiles::kNone);
}
