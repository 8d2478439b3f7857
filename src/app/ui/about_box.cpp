#include "app/ui/about_box.h"

#include <QMessageBox>

#include "app/ui/app_icons.h"

namespace parvolin::app::ui {
namespace {

constexpr int kIconPixels = 48;

}  // namespace

const char* aboutNameText() {
  return "Parvolin  Version " PARVOLIN_VERSION;
}

void runAboutBox(QWidget* parent) {
  QMessageBox about(parent);
  about.setObjectName("aboutBox");
  about.setWindowTitle(kAboutTitle);
  about.setIconPixmap(icons::program().pixmap(kIconPixels, kIconPixels));
  about.setText(QString::fromUtf8(aboutNameText()));
  about.setInformativeText(QString::fromUtf8(kAboutUnitsText));
  about.setStandardButtons(QMessageBox::Ok);
  about.exec();
}

}  // namespace parvolin::app::ui
