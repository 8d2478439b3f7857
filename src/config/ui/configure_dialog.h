#pragma once

#include <QDialog>

#include <memory>
#include <vector>

#include "base/prompt.h"
#include "config/configure_pages.h"

class QTabWidget;

namespace parvolin::config::ui {

class HardwarePageWidget;
class SoftwarePageWidget;

// "Configure Software, and/or hardware unit(s)": a tab for the software settings and one for
// each unit up to the highest one present. Making the dialog reads every present unit's settings
// and queries the version of each unit whose tab shows; messages go to `prompt`, or to message
// boxes over the dialog when it is null. Run modally (the main window runs it on a RecorderHost);
// the recorder's poll timer goes on between the dialog's handlers. `host` (and `prompt`) outlive
// the dialog. Its object name is "configurationDialog".
class ConfigureDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ConfigureDialog(ConfigureHost& host, base::Prompt* prompt = nullptr,
                           QWidget* parent = nullptr);
  ~ConfigureDialog() override;

  // For tests and previews.
  QTabWidget* tabs() const { return tabs_; }
  SoftwarePageWidget* softwarePage() const { return software_; }
  // The page of unit 0-3; null when its tab does not show.
  HardwarePageWidget* hardwarePage(int unit) const;

 private:
  void createPages();
  void giveFocusToPage(int index);

  std::unique_ptr<base::Prompt> ownPrompt_;
  ConfigurePages pages_;
  QTabWidget* tabs_ = nullptr;
  SoftwarePageWidget* software_ = nullptr;
  std::vector<HardwarePageWidget*> hardware_;
};

}  // namespace parvolin::config::ui
