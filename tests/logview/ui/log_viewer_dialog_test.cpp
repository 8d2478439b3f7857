#include "logview/ui/log_viewer_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "logview/list_builder.h"
#include "logview/ui/file_manager_dialog.h"
#include "logview/ui/list_table_model.h"
#include "logview/ui/logview_colors.h"
#include "support/scripted_prompt.h"
#include "support/ui/controls.h"
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
    viewer->setPendingRows([this] { return pending; });
    viewer->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->shownPage().has_value(); }));
    return viewer;
  }
  // Waits until the page asked for last is on screen.
  static void settle(LogViewerDialog& viewer) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !viewer.reading(); }));
  }
  // The cells of one column, top to bottom.
  static std::vector<std::string> column(const LogViewerDialog& viewer, ListColumn c) {
    std::vector<std::string> cells;
    const QAbstractItemModel* model = viewer.view()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
      cells.push_back(model->index(row, int(c)).data().toString().toStdString());
    }
    return cells;
  }
  using Cells = std::vector<std::string>;
  void click(LogViewerDialog& viewer, const char* text) {
    QTest::mouseClick(parvolin::test::buttonCaptioned<widgets::HoverButton>(viewer, text),
                      Qt::LeftButton);
  }

  ListFiles files;
  engine::RecorderSettings settings;
  parvolin::test::ScriptedPrompt prompt;
  ImmediateListEditor editor;
  std::vector<std::filesystem::path> opened;
  std::vector<std::string> pending;
};

TEST_F(LogViewer, ShowsTheListAsWrittenAndRefreshesEvery25Seconds) {
  writeFile(files.find, "an old result");
  auto viewer = open();
  EXPECT_EQ(viewer->shownPage(), files.list);
  EXPECT_FALSE(fileExists(files.find)) << "showing the viewer deletes an old result";
  EXPECT_EQ(column(*viewer, ListColumn::kItem), (Cells{"3", "2", "1"}));
  EXPECT_EQ(column(*viewer, ListColumn::kText), (Cells{"<5551234>", "", "Smith"}));
  EXPECT_EQ(column(*viewer, ListColumn::kDuration), (Cells{"2'05\"", "Un-Answered", "0'30\""}));
  EXPECT_EQ(viewer->refreshPeriodMs(), 25000);

  settings.bAutoRefresh = 0;
  click(*viewer, "List Refresh");
  settle(*viewer);
  EXPECT_EQ(viewer->refreshPeriodMs(), std::nullopt);
}

TEST_F(LogViewer, SortsShowTheirResultUntilTheNextRefresh) {
  auto viewer = open();
  click(*viewer, "Sort by Duration");
  settle(*viewer);
  EXPECT_EQ(viewer->shownPage(), files.find);
  EXPECT_EQ(viewer->refreshPeriodMs(), std::nullopt);
  EXPECT_EQ(column(*viewer, ListColumn::kItem), (Cells{"3", "1", "2"}));
  click(*viewer, "Sort by Port");
  settle(*viewer);
  EXPECT_EQ(viewer->shownPage(), files.find);
  EXPECT_EQ(column(*viewer, ListColumn::kPort), (Cells{"1", "2", "3"}));
  click(*viewer, "List Refresh");
  settle(*viewer);
  EXPECT_EQ(viewer->shownPage(), files.list);
  EXPECT_EQ(column(*viewer, ListColumn::kItem), (Cells{"3", "2", "1"}));
  EXPECT_FALSE(fileExists(files.find));

  // A sort without a list shows nothing stale, refreshes 200 ms later, and that closes.
  std::filesystem::remove(files.list);
  click(*viewer, "Sort by Port");
  settle(*viewer);
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
  viewer->openLink("w45EBDD05p1.LV3");
  viewer->openLink("https://example.invalid/x.LV3");
  viewer->openLink("../elsewhere.LV3");
  EXPECT_EQ(opened, (std::vector<std::filesystem::path>{folder / "w45EBDD05p1.LV3"}));
  EXPECT_EQ(viewer->shownPage(), files.list) << "the view never follows a link";
}

TEST_F(LogViewer, ClickingPlayOpensThatRowsRecordingAndTheRestOfTheCellDoesNot) {
  auto viewer = open();
  QTableView* view = viewer->view();
  view->resize(700, 300);
  const QModelIndex third = view->model()->index(2, int(ListColumn::kDuration));
  const QRect cell = view->visualRect(third);
  const QRect link = ListRowDelegate::linkRect(cell, view->font(), third);
  ASSERT_FALSE(link.isEmpty());
  EXPECT_TRUE(cell.contains(link));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                    QPoint(cell.left() + 2, cell.center().y()));
  EXPECT_TRUE(opened.empty()) << "the duration is no link";
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, link.center());
  EXPECT_EQ(opened, (std::vector<std::filesystem::path>{folder / "w45EBDD03p2.LV3"}));

  const QModelIndex unanswered = view->model()->index(1, int(ListColumn::kDuration));
  EXPECT_TRUE(
      ListRowDelegate::linkRect(view->visualRect(unanswered), view->font(), unanswered).isEmpty());
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                    QPoint(link.center().x(), view->visualRect(unanswered).center().y()));
  EXPECT_EQ(opened.size(), 1u) << "an un-answered call has nothing to play";
}

TEST_F(LogViewer, ThePageKeepsItsCaptionColumnsAlignmentAndColours) {
  auto viewer = open();
  auto* caption = viewer->findChild<QLabel*>("listCaption");
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(caption->text(), "LIST OF RECORDED CALLS");
  EXPECT_TRUE(caption->font().bold());
  EXPECT_TRUE(viewer->windowTitle().isEmpty());

  const QAbstractItemModel* model = viewer->view()->model();
  ASSERT_EQ(model->columnCount(), 6);
  const char* titles[] = {"Item",      "Port",    "Type", "Phone # and/or Edited Text",
                          "Date/Time", "Duration"};
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), titles[c]);
    EXPECT_TRUE(model->headerData(c, Qt::Horizontal, Qt::FontRole).value<QFont>().bold());
  }
  const auto align = [&](int row, ListColumn c) {
    return Qt::Alignment(model->index(row, int(c)).data(Qt::TextAlignmentRole).toInt()) &
           Qt::AlignHorizontal_Mask;
  };
  EXPECT_EQ(align(0, ListColumn::kItem), Qt::AlignHCenter);
  EXPECT_EQ(align(0, ListColumn::kDateTime), Qt::AlignHCenter);
  EXPECT_EQ(align(0, ListColumn::kText), Qt::AlignLeft);
  EXPECT_EQ(align(0, ListColumn::kDuration), Qt::AlignRight);
  EXPECT_EQ(align(1, ListColumn::kDuration), Qt::AlignLeft) << "Un-Answered is a plain cell";
  EXPECT_EQ(model->index(1, 3).data(Qt::BackgroundRole).value<QColor>(), QColor("aqua"));
  EXPECT_EQ(model->index(0, int(ListColumn::kDuration)).data(ListTableModel::kLinkRole),
            "w45EBDD05p1.LV3");
  EXPECT_FALSE(
      model->index(1, int(ListColumn::kDuration)).data(ListTableModel::kLinkRole).isValid());
  EXPECT_FALSE(model->index(0, int(ListColumn::kText)).data(ListTableModel::kLinkRole).isValid());
}

TEST_F(LogViewer, CallsNotYetInTheListComeFirstOnTheListButNotOnAResult) {
  pending = {test::rowOf({5, 4, 10, "newest"}), test::rowOf({4, 4, 20, "newer"})};
  auto viewer = open();
  EXPECT_EQ(column(*viewer, ListColumn::kItem), (Cells{"5", "4", "3", "2", "1"}));

  click(*viewer, "Sort by Duration");
  settle(*viewer);
  EXPECT_EQ(column(*viewer, ListColumn::kItem), (Cells{"3", "1", "2"})) << "the file's rows";

  // Once written (oldest first), a pending row leaves the recorder's memory: it is shown once,
  // also when the recorder's copy was taken before the rewrite.
  writeFile(files.list, test::listOf({{4, 4, 20, "newer"}, {3, 2, 125}, {2, 1, -1}, {1, 3, 30}}));
  click(*viewer, "List Refresh");
  settle(*viewer);
  EXPECT_EQ(column(*viewer, ListColumn::kItem), (Cells{"5", "4", "3", "2", "1"}));
  pending = {test::rowOf({5, 4, 10, "newest"})};
  click(*viewer, "List Refresh");
  settle(*viewer);
  EXPECT_EQ(column(*viewer, ListColumn::kItem), (Cells{"5", "4", "3", "2", "1"}));
}

TEST_F(LogViewer, ARefreshReadsThePageOnlyWhenItChanged) {
  auto viewer = open();
  settle(*viewer);
  const int reads = viewer->pagesRead();
  QSignalSpy resets(viewer->view()->model(), &QAbstractItemModel::modelReset);
  for (int i = 0; i < 3; ++i) {
    click(*viewer, "List Refresh");
    QTest::qWait(20);
  }
  EXPECT_EQ(viewer->pagesRead(), reads);
  EXPECT_EQ(resets.count(), 0);

  // Rewritten with a text of the same length: same size, so only the file's times tell.
  writeFile(files.list, listOf({{3, 2, 125, "<5551235>"}, {2, 1, -1}, {1, 3, 30, "Smith"}}));
  std::filesystem::last_write_time(
      files.list, std::filesystem::last_write_time(files.list) + std::chrono::seconds(2));
  click(*viewer, "List Refresh");
  settle(*viewer);
  EXPECT_EQ(viewer->pagesRead(), reads + 1);
  EXPECT_EQ(column(*viewer, ListColumn::kText)[0], "<5551235>");

  // A change of the recorder's pending rows alone is a change too.
  pending = {test::rowOf({4})};
  click(*viewer, "List Refresh");
  settle(*viewer);
  EXPECT_EQ(viewer->pagesRead(), reads + 2);
  EXPECT_EQ(column(*viewer, ListColumn::kItem)[0], "4");

  // The automatic refresh takes the same way.
  viewer->listRefresh();
  settle(*viewer);
  EXPECT_EQ(viewer->pagesRead(), reads + 2);
}

TEST_F(LogViewer, ARereadKeepsTheScrollPositionAndANewPageStartsAtTheTop) {
  writeFile(files.list, listOf(test::numbered(400)));
  auto viewer = open();
  settle(*viewer);
  QScrollBar* scroll = viewer->view()->verticalScrollBar();
  ASSERT_GT(scroll->maximum(), 1000);
  scroll->setValue(1000);
  writeFile(files.list, listOf(test::numbered(401)));
  click(*viewer, "List Refresh");
  settle(*viewer);
  EXPECT_EQ(viewer->model()->rowCount(), 401);
  EXPECT_EQ(scroll->value(), 1000);
  click(*viewer, "Sort by Port");
  settle(*viewer);
  EXPECT_EQ(scroll->value(), 0);
}

TEST_F(LogViewer, ButtonsTakeTheirColoursAndHoverColours) {
  auto viewer = open();
  for (const char* text :
       {"List Refresh", "Sort by Port", "File Manager", "Sort by Duration", "View Port Activity"}) {
    SCOPED_TRACE(text);
    widgets::HoverButton* b = parvolin::test::buttonCaptioned<widgets::HoverButton>(*viewer, text);
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
    QTest::mouseClick(parvolin::test::buttonCaptioned(fm, "Start Search"), Qt::LeftButton);
  });
  click(*viewer, "File Manager");
  settle(*viewer);
  EXPECT_EQ(viewer->shownPage(), files.find);
  EXPECT_EQ(viewer->refreshPeriodMs(), std::nullopt);
  EXPECT_EQ(test::readFile(files.find), engine::kHtmlHeader);
  EXPECT_EQ(viewer->model()->rowCount(), 0);

  whenModal<FileManagerDialog>([](FileManagerDialog& fm) { fm.reject(); });
  click(*viewer, "File Manager");
  settle(*viewer);
  EXPECT_EQ(test::readFile(files.find), engine::kHtmlHeader) << "Exit brought it back";
  EXPECT_EQ(viewer->refreshPeriodMs(), std::nullopt);

  // A delete leaves no result: the list is shown, and once more a second later.
  prompt.answers = {true};
  whenModal<FileManagerDialog>([](FileManagerDialog& fm) {
    QTest::mouseClick(parvolin::test::buttonCaptioned(fm, "Delete Item"), Qt::LeftButton);
  });
  click(*viewer, "File Manager");
  settle(*viewer);
  EXPECT_EQ(viewer->shownPage(), files.list);
  EXPECT_EQ(viewer->refreshPeriodMs(), 1000);
  EXPECT_EQ(column(*viewer, ListColumn::kItem), (Cells{"2", "1"})) << "item 3 is gone";

  viewer->accept();
  EXPECT_FALSE(fileExists(files.find));
}

}  // namespace
}  // namespace parvolin::logview::ui
