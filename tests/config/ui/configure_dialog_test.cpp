#include "config/ui/configure_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "app/working_folder.h"
#include "config/store_host.h"
#include "config/ui/hardware_page_widget.h"
#include "config/ui/software_page_widget.h"
#include "settings/settings_store.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "support/scripted_prompt.h"
#include "support/test_files.h"
#include "support/ui/controls.h"

namespace parvolin::config::ui {
namespace {

namespace fs = std::filesystem;

// The dialog over emulated units and a store in memory, on a virtual clock.
class ConfigureDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { attach("unit A1 varports=0x52\nunit A2 mode=2\n"); }
  void attach(const std::string& scenario) {
    std::string error;
    std::optional<sim::Scenario> parsed =
        scenario.empty() ? sim::Scenario{} : sim::parseScenario(scenario, "units", ".", error);
    ASSERT_TRUE(parsed) << error;
    d2xx = std::make_unique<sim::SimD2xx>(*parsed, clock);
    link = std::make_unique<device::UnitLink>(*d2xx, clock);
    link->openAll();
    fs::create_directories(recording);
    engine::RecorderSettings settings;
    settings.parvolinPath = recording.string();
    host = std::make_unique<StoreHost>(store, settings, workingFolder, link.get());
    for (int u = 0; u < device::kMaxUnits; ++u) {
      if (auto mode = link->readRegister(device::Register::kEncoderMode, u)) {
        host->setAudioMode(u, *mode);
      }
    }
  }
  std::unique_ptr<ConfigureDialog> openDialog() {
    auto dialog = std::make_unique<ConfigureDialog>(*host, &prompt);
    dialog->show();
    dialog->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    return dialog;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> shown;
    for (const auto& s : prompt.shown) shown.push_back(s.text);
    return shown;
  }

  test::TempFolder dir;
  fs::path recording = dir / "rec" / "ZEruFolder";
  base::VirtualClock clock;
  std::unique_ptr<sim::SimD2xx> d2xx;
  std::unique_ptr<device::UnitLink> link;
  settings::MemorySettingsStore store;
  app::FakeWorkingFolder workingFolder{recording};
  std::unique_ptr<StoreHost> host;
  parvolin::test::ScriptedPrompt prompt;
};

TEST_F(ConfigureDialogTest, OpensWithATabPerUnitAndSwitchesByMouseAndKeyboard) {
  auto dialog = openDialog();
  EXPECT_EQ(dialog->windowTitle(), "Configure Software, and/or hardware unit(s)");
  QTabWidget* tabs = dialog->tabs();
  ASSERT_EQ(tabs->count(), 4);
  EXPECT_EQ(tabs->tabText(0), "S/W Settings");
  EXPECT_EQ(tabs->tabText(2), "H/W Settings(Unit2)");
  EXPECT_EQ(tabs->tabText(3), "Retention");
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_EQ(dialog->hardwarePage(2), nullptr);

  QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(2).center());
  EXPECT_EQ(tabs->currentWidget(), dialog->hardwarePage(1));
  ASSERT_TRUE(dialog->hardwarePage(1)->isAncestorOf(QApplication::focusWidget()))
      << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className()
                                      : "none")
      << "a page chosen with the mouse takes the focus";
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(tabs->currentIndex(), 3);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(tabs->currentIndex(), 0) << "Ctrl+Tab goes round to the first page";
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(tabs->currentIndex(), 1);
}

TEST_F(ConfigureDialogTest, NoUnitGivesOnlyTheSoftwareAndRetentionPages) {
  attach("");
  auto dialog = openDialog();
  EXPECT_EQ(dialog->tabs()->count(), 2);
  EXPECT_TRUE(prompt.shown.empty());
}

// Every text of both kinds of page fits its control on this desktop's fonts.
TEST_F(ConfigureDialogTest, NoTextIsClipped) {
  auto dialog = openDialog();
  for (int page = 0; page < dialog->tabs()->count(); ++page) {
    dialog->tabs()->setCurrentIndex(page);
    QWidget* shown = dialog->tabs()->currentWidget();
    for (QWidget* w : shown->findChildren<QWidget*>()) {
      if (!w->isVisible()) continue;
      const bool text = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                        qobject_cast<QComboBox*>(w);
      if (!text) continue;
      EXPECT_GE(w->width(), w->minimumSizeHint().width())
          << page << " " << w->metaObject()->className();
      EXPECT_GE(w->height(), w->minimumSizeHint().height()) << page;
    }
  }
  HardwarePageWidget* hardware = dialog->hardwarePage(0);
  const int lines = hardware->writeButton()->fontMetrics().lineSpacing() * 3;
  EXPECT_GE(hardware->writeButton()->height(), lines) << "the three-line caption";
  EXPECT_GE(hardware->exitButton()->height(), lines);
}

TEST_F(ConfigureDialogTest, SoftwareCheckBoxesFollowTheirRulesAndKeepTypedText) {
  auto dialog = openDialog();
  SoftwarePageWidget* page = dialog->softwarePage();
  page->folderEdit()->setText("/typed/here");
  QTest::mouseClick(parvolin::test::buttonCaptioned(*page, "L1 (Less)"), Qt::LeftButton);
  QTest::mouseClick(parvolin::test::buttonCaptioned(*page, "L2 (Deep)"), Qt::LeftButton);
  EXPECT_FALSE(parvolin::test::buttonCaptioned(*page, "L1 (Less)")->isChecked());
  EXPECT_TRUE(parvolin::test::buttonCaptioned(*page, "L2 (Deep)")->isChecked());
  QTest::mouseClick(parvolin::test::buttonCaptioned(*page, "L2 (Deep)"), Qt::LeftButton);
  EXPECT_FALSE(parvolin::test::buttonCaptioned(*page, "L2 (Deep)")->isChecked())
      << "both off: no Dava";
  QTest::mouseClick(parvolin::test::buttonCaptioned(*page, "WAV(8bitPCM)"), Qt::LeftButton);
  EXPECT_FALSE(parvolin::test::buttonCaptioned(*page, "LV")->isChecked());
  QTest::mouseClick(parvolin::test::buttonCaptioned(*page, "WAV(8bitPCM)"), Qt::LeftButton);
  EXPECT_TRUE(parvolin::test::buttonCaptioned(*page, "LV")->isChecked());
  QTest::mouseClick(parvolin::test::buttonCaptioned(*page, "LV"), Qt::LeftButton);
  EXPECT_TRUE(parvolin::test::buttonCaptioned(*page, "WAV(8bitPCM)")->isChecked());
  EXPECT_EQ(page->folderEdit()->text(), "/typed/here");
}

TEST_F(ConfigureDialogTest, CapacityEntriesTakeWholeNumbersAndEmptyMeansUnchanged) {
  auto dialog = openDialog();
  SoftwarePageWidget* page = dialog->softwarePage();
  page->capacityItemsEdit()->clear();
  QTest::keyClicks(page->capacityItemsEdit(), "-1a2.5e3");
  EXPECT_EQ(page->capacityItemsEdit()->text(), "1253");
  page->capacitySpaceEdit()->clear();
  QTest::mouseClick(parvolin::test::buttonCaptioned(*page, "OK"), Qt::LeftButton);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(host->settings().itemLimit, 1253);
  EXPECT_EQ(host->settings().spaceLimit, 500) << "an empty entry leaves the limit";
}

TEST_F(ConfigureDialogTest, BrowseAppendsTheFolderNameAndCancelStoresNothing) {
  auto dialog = openDialog();
  SoftwarePageWidget* page = dialog->softwarePage();
  QString askedTitle;
  page->setFolderChooser([&](QWidget*, const QString& title, const QString&) {
    askedTitle = title;
    return std::optional<QString>("/media/usb");
  });
  QTest::mouseClick(parvolin::test::buttonCaptioned(*page, "Browse"), Qt::LeftButton);
  EXPECT_EQ(askedTitle.toStdString(), kBrowseTitle);
  EXPECT_EQ(page->folderEdit()->text(), "/media/usb/ZEruFolder");
  QTest::mouseClick(parvolin::test::buttonCaptioned(*page, "HTML"), Qt::LeftButton);
  QTest::mouseClick(parvolin::test::buttonCaptioned(*page, "Cancel"), Qt::LeftButton);
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_TRUE(store.writes.empty());
  EXPECT_EQ(host->settings().parvolinPath, recording.string());
}

TEST_F(ConfigureDialogTest, OkStoresTheFolderAndCreatesIt) {
  auto dialog = openDialog();
  SoftwarePageWidget* page = dialog->softwarePage();
  page->folderEdit()->setText(QString::fromStdString((dir / "calls").string()));
  QTest::mouseClick(parvolin::test::buttonCaptioned(*page, "OK"), Qt::LeftButton);
  EXPECT_TRUE(prompt.shown.empty());
  EXPECT_TRUE(fs::is_directory(dir / "calls" / "ZEruFolder"));
  EXPECT_EQ(workingFolder.current(), dir / "calls" / "ZEruFolder");
}

TEST_F(ConfigureDialogTest, HardwarePageShowsTheUnitAndWritesWhatIsChanged) {
  auto dialog = openDialog();
  HardwarePageWidget* page = dialog->hardwarePage(0);
  EXPECT_EQ(page->portButton(0)->text(), "Port 1");
  EXPECT_EQ(dialog->hardwarePage(1)->portButton(3)->text(), "Port 8");
  EXPECT_TRUE(page->portButton(1)->isChecked());
  EXPECT_FALSE(page->portButton(0)->isChecked());
  EXPECT_EQ(page->thresholdList()->currentText(), "2: Mid Sensitivity");
  EXPECT_EQ(page->turnOffDelayList()->currentText(), "1: 12 seconds");
  EXPECT_EQ(page->timeoutList()->currentText(), "0: 20 minutes");
  EXPECT_EQ(page->audioModeList()->currentText(), "3. Large file, Best audio");
  EXPECT_EQ(dialog->hardwarePage(1)->audioModeList()->currentIndex(), 2);
  EXPECT_TRUE(page->preRingDtmfButton()->isChecked() && page->preRingFskButton()->isChecked());
  EXPECT_TRUE(page->forcedFskBox()->isChecked());
  EXPECT_EQ(page->deviceIdEdit()->text(), "A1");
  ASSERT_TRUE(page->writeButton()->isEnabled());

  QTest::mouseClick(page->portButton(3), Qt::LeftButton);
  page->timeoutList()->setCurrentIndex(2);
  QTest::mouseClick(page->writeButton(), Qt::LeftButton);
  const std::string s(kVarSettingsWrittenText);
  EXPECT_EQ(texts(), (std::vector<std::string>{s, s}));
  const sim::UnitRegisters& stored = d2xx->findUnit("A1")->storedRegisters();
  EXPECT_EQ(stored.varPorts, 0x5A);
  EXPECT_EQ(stored.varTimeout, 0x52);
  EXPECT_EQ(d2xx->findUnit("A1")->activeRegisters().varPorts, 0x52) << "until its power cycle";
  EXPECT_TRUE(dialog->isVisible());

  QTest::mouseClick(page->exitButton(), Qt::LeftButton);
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_FALSE(dialog->isVisible());
}

TEST_F(ConfigureDialogTest, WavIsRefusedRightAfterAHardwarePageChangedTheAudioMode) {
  attach("unit A1\n");
  auto dialog = openDialog();
  HardwarePageWidget* hardware = dialog->hardwarePage(0);
  hardware->audioModeList()->setCurrentIndex(1);
  QTest::mouseClick(hardware->writeButton(), Qt::LeftButton);
  EXPECT_EQ(host->audioMode(0), 1);
  SoftwarePageWidget* software = dialog->softwarePage();
  QTest::mouseClick(parvolin::test::buttonCaptioned(*software, "WAV(8bitPCM)"), Qt::LeftButton);
  prompt.shown.clear();
  QTest::mouseClick(parvolin::test::buttonCaptioned(*software, "OK"), Qt::LeftButton);
  EXPECT_EQ(texts(), std::vector<std::string>{std::string(kWavConflictText)});
  EXPECT_FALSE(host->settings().has(engine::kWavFormat));
}

TEST_F(ConfigureDialogTest, WritingStaysOffForAVersionThatDoesNotAllowIt) {
  attach("unit A1 version13=0\n");
  auto dialog = openDialog();
  EXPECT_FALSE(dialog->hardwarePage(0)->writeButton()->isEnabled());
  EXPECT_TRUE(dialog->hardwarePage(0)->deviceIdEdit()->text().isEmpty());
  EXPECT_TRUE(prompt.shown.empty());
}

}  // namespace
}  // namespace parvolin::config::ui
