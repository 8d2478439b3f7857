#include "config/ui/configure_dialog.h"

#include <QTabBar>
#include <QTabWidget>

#include "config/ui/hardware_page_widget.h"
#include "config/ui/retention_page_widget.h"
#include "config/ui/software_page_widget.h"
#include "widgets/ui/dialog_units.h"
#include "widgets/ui/message_box_prompt.h"
#include "widgets/ui/qt_text.h"

namespace parvolin::config::ui {
namespace {

// The dialog and its tab control, in dialog units.
constexpr int kDialogWidth = 312;
constexpr int kDialogHeight = 175;
constexpr int kTabsX = 7;
constexpr int kTabsY = 7;
constexpr int kTabsWidth = 298;
constexpr int kTabsHeight = 161;

base::Prompt& promptFor(base::Prompt* given, std::unique_ptr<base::Prompt>& own, QWidget* dialog) {
  if (given) return *given;
  own = std::make_unique<widgets::MessageBoxPrompt>(dialog);
  return *own;
}

}  // namespace

ConfigureDialog::ConfigureDialog(ConfigureHost& host, base::Prompt* prompt, QWidget* parent)
    : QDialog(parent), pages_(host, promptFor(prompt, ownPrompt_, this)) {
  setObjectName("configurationDialog");
  setWindowTitle(widgets::toQString(kConfigureTitle));
  pages_.initialise();
  createPages();
  // A page chosen with the mouse takes the focus; one chosen from the keyboard (Ctrl+Tab, the
  // arrow keys on the tab row) leaves it where it is, so that the keys go on switching pages.
  connect(tabs_->tabBar(), &QTabBar::tabBarClicked, this, &ConfigureDialog::giveFocusToPage);
}

ConfigureDialog::~ConfigureDialog() = default;

void ConfigureDialog::createPages() {
  tabs_ = new QTabWidget(this);
  const std::vector<std::string> titles = pages_.tabTitles();
  software_ = new SoftwarePageWidget(pages_.software(), tabs_);
  tabs_->addTab(software_, QString::fromStdString(titles[0]));
  connect(software_, &SoftwarePageWidget::okDone, this, &QDialog::accept);
  connect(software_, &SoftwarePageWidget::cancelled, this, &QDialog::reject);
  for (int unit = 0; unit + 1 < pages_.pageCount(); ++unit) {
    auto* page = new HardwarePageWidget(pages_.hardware(unit), tabs_);
    tabs_->addTab(page, QString::fromStdString(titles[std::size_t(unit) + 1]));
    connect(page, &HardwarePageWidget::exitRequested, this, &QDialog::reject);
    hardware_.push_back(page);
  }
  auto* retention = new RetentionPageWidget(pages_.retention(), tabs_);
  tabs_->addTab(retention, QString::fromUtf8(kRetentionPageTitle.data(),
                                             qsizetype(kRetentionPageTitle.size())));
  connect(retention, &RetentionPageWidget::okDone, this, &QDialog::accept);
  connect(retention, &RetentionPageWidget::cancelled, this, &QDialog::reject);

  // The design's size, or larger where this desktop's fonts need more room.
  widgets::placeInDialogUnits(tabs_, kTabsX, kTabsY, kTabsWidth, kTabsHeight);
  const QRect designed = tabs_->geometry();
  const QSize needed = tabs_->minimumSizeHint().expandedTo(designed.size());
  tabs_->resize(needed);
  const QSize dialog = widgets::dialogUnitSize(this, kDialogWidth, kDialogHeight);
  setFixedSize(dialog.expandedTo(needed + QSize(designed.x() * 2, designed.y() * 2)));
}

HardwarePageWidget* ConfigureDialog::hardwarePage(int unit) const {
  return unit >= 0 && unit < int(hardware_.size()) ? hardware_[std::size_t(unit)] : nullptr;
}

void ConfigureDialog::giveFocusToPage(int index) {
  QWidget* page = tabs_->widget(index);
  if (!page) return;
  tabs_->setCurrentIndex(index);
  for (QWidget* control : page->findChildren<QWidget*>()) {
    if ((control->focusPolicy() & Qt::TabFocus) && control->isEnabled()) {
      control->setFocus(Qt::MouseFocusReason);
      return;
    }
  }
}

}  // namespace parvolin::config::ui
