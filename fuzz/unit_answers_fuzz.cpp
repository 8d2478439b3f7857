// libFuzzer target: any answer bytes to every unit command, checked against the protocol.

#include "unit_answers_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return parvolin::fuzz::runFuzzInput(parvolin::fuzz::unitAnswersFuzzCheck, data, size,
                                      parvolin::fuzz::FuzzFiles::kNone);
}
