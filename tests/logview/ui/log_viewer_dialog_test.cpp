#include "logview/ui/log_viewer_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include "logview/list_builder.h"
#include "logview/ui/file_manager_dialog.h"
#include "logview/ui/logview_colors.h"
#include "widgets/ui/hover_button.h"

namespace parvolin::logview::ui {
namespace {

using test::Call;
using test::listOf;
using test::writeFile;
using widgets::colorFromColorRef;

// Runs `act` on the modal dialog of type D once it is up (inside its exec()).
template <class D>
void whenModal(std::function<void(D&)> act) {
  QTimer::singleShot(0, [act] {
    auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    act(*dialog);
  });
}

class LogViewer : public test::ListTest {
 protected:
  LogViewer()
      : files(ListFiles::forList(folder / "ZEruTestNew.htm")), editor(folder.path(), files.list) {
    writeFile(files.list, listOf({{3, 2, 125, "<5551234>"}, {2, 1, -1}, {1, 3, 30, "Smith"}}));
  }
  std::unique_ptr<LogViewerDialog> open() {
    auto viewer = std::make_unique<LogViewerDialog>(files.list, settings, editor, prompt);
    viewer->setRecordingOpener([this](const std::filesystem::path& p) { opened.push_back(p); });
    viewer->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->shownPage().has_value(); }));
    return viewer;
  }
  void click(LogViewerDialog& viewer, const char* text) {
    QTest::mouseClick(viewer.button(text), Qt::LeftButton);
  }

  ListFiles files;
  engine::RecorderSettings settings;
  base::ScriptedPrompt prompt;
  ImmediateListEditor editor;
  std::vector<std::filesystem::path> opened;
};

TEST_F(LogViewer, ShowsTheListAsWrittenAndRefreshesEvery25Seconds) {
  writeFile(files.find, "an old result");
  auto viewer = open();
  EXPECT_EQ(viewer->shownPage(), files.list);
  EXPECT_FALSE(fileExists(files.find)) << "showing the viewer deletes an old result";
  const QString text = viewer->view()->toPlainText();
  EXPECT_TRUE(text.contains("<5551234>")) << text.toStdString();
  EXPECT_TRUE(text.contains("Un-Answered"));
  EXPECT_EQ(viewer->refreshPeriodMs(), 25000);

  settings.bAutoRefresh = 0;
  click(*viewer, "List Refresh");
  EXPECT_EQ(viewer->refreshPeriodMs(), std::nullopt);
}

TEST_F(LogViewer, SortsShowTheirResultUntilTheNextRefresh) {
  auto viewer = open();
  click(*viewer, "Sort by Duration");
  EXPECT_EQ(viewer->shownPage(), files.find);
  EXPECT_EQ(viewer->refreshPeriodMs(), std::nullopt);
  EXPECT_LT(viewer->view()->toPlainText().indexOf("2'05"),
            viewer->view()->toPlainText().indexOf("0'30"));
  click(*viewer, "Sort by Port");
  EXPECT_EQ(viewer->shownPage(), files.find);
  click(*viewer, "List Refresh");
  EXPECT_EQ(viewer->shownPage(), files.list);
  EXPECT_FALSE(fileExists(files.find));

  // A sort without a list shows nothing stale, refreshes 200 ms later, and that closes.
  std::filesystem::remove(files.list);
  click(*viewer, "Sort by Port");
  EXPECT_EQ(viewer->refreshPeriodMs(), 200);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !viewer->isVisible(); }));
}

TEST_F(LogViewer, WithoutAListTheViewerCloses) {
  std::filesystem::remove(files.list);
  LogViewerDialog viewer(files.list, settings, editor, prompt);
  QTimer::singleShot(5000, &viewer, &QDialog::reject);  // a safety net, not the result
  EXPECT_EQ(viewer.exec(), QDialog::Accepted);
}

TEST_F(LogViewer, PlayLinksOpenTheirRecordingAndNothingElse) {
  auto viewer = open();
  emit viewer->view()->anchorClicked(QUrl("w45EBDD05p1.LV3"));
  emit viewer->view()->anchorClicked(QUrl("https://example.invalid/x.LV3"));
  emit viewer->view()->anchorClicked(QUrl("../elsewhere.LV3"));
  EXPECT_EQ(opened, (std::vector<std::filesystem::path>{folder / "w45EBDD05p1.LV3"}));
  EXPECT_EQ(viewer->shownPage(), files.list) << "the view never follows a link";
}

TEST_F(LogViewer, ButtonsTakeTheirColoursAndHoverColours) {
  auto viewer = open();
  for (const char* text :
       {"List Refresh", "Sort by Port", "File Manager", "Sort by Duration", "View Port Activity"}) {
    SCOPED_TRACE(text);
    widgets::HoverButton* b = viewer->button(text);
    EXPECT_EQ(b->textColor(), colorFromColorRef(kBlueText));
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(b, &enter);
    const bool fileManager = std::string(text) == "File Manager";
    EXPECT_EQ(b->textColor(), colorFromColorRef(fileManager ? kOrangeText : kGreenText));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(b, &leave);
    EXPECT_EQ(b->textColor(), colorFromColorRef(kBlueText));
  }
  EXPECT_EQ(colorFromColorRef(0x007FFF), QColor(255, 127, 0));
}

TEST_F(LogViewer, TheFileManagersSearchStaysOnScreenAndExitBringsItBack) {
  auto viewer = open();
  whenModal<FileManagerDialog>([&viewer](FileManagerDialog& fm) {
    EXPECT_EQ(viewer->refreshPeriodMs(), std::nullopt) << "no refresh under the file manager";
    fm.searchBox()->setText("smith");  // the dates stay at today: no call of 2007 matches
    QTest::mouseClick(fm.button("Start Search"), Qt::LeftButton);
  });
  click(*viewer, "File Manager");
  EXPECT_EQ(viewer->shownPage(), files.find);
  EXPECT_EQ(viewer->refreshPeriodMs(), std::nullopt);
  EXPECT_EQ(test::readFile(files.find), engine::kHtmlHeader);

  whenModal<FileManagerDialog>([](FileManagerDialog& fm) { fm.reject(); });
  click(*viewer, "File Manager");
  EXPECT_EQ(test::readFile(files.find), engine::kHtmlHeader) << "Exit brought it back";
  EXPECT_EQ(viewer->refreshPeriodMs(), std::nullopt);

  // A delete leaves no result: the list is shown, and once more a second later.
  prompt.answers = {true};
  whenModal<FileManagerDialog>(
      [](FileManagerDialog& fm) { QTest::mouseClick(fm.button("Delete Item"), Qt::LeftButton); });
  click(*viewer, "File Manager");
  EXPECT_EQ(viewer->shownPage(), files.list);
  EXPECT_EQ(viewer->refreshPeriodMs(), 1000);
  EXPECT_FALSE(viewer->view()->toPlainText().contains("<5551234>")) << "item 3 is gone";

  viewer->accept();
  EXPECT_FALSE(fileExists(files.find));
}

}  // namespace
}  // namespace parvolin::logview::ui
