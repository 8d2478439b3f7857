#pragma once

#include <QWidget>

#include "codec/wav_copy.h"

namespace parvolin::player::ui {

// The save-file dialog of the WAV save: "*.WAV", default extension "WAV", starting in the
// current folder, asking before replacing a file.
class FileSaveNameDialog final : public codec::SaveNameDialog {
 public:
  explicit FileSaveNameDialog(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }

  std::optional<std::filesystem::path> askSaveName(std::string_view proposedStem) override;

 private:
  QWidget* parent_;
};

}  // namespace parvolin::player::ui
