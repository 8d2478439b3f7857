#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "codec/wav_copy.h"

namespace parvolin::codec::test {

// A save dialog answering with a fixed choice and remembering the name it proposed.
class FakeSaveDialog final : public SaveNameDialog {
 public:
  std::optional<std::filesystem::path> askSaveName(std::string_view proposedStem) override {
    proposed = std::string(proposedStem);
    return answer;
  }
  std::optional<std::filesystem::path> answer;
  std::string proposed;
};

}  // namespace parvolin::codec::test
