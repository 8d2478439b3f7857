#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStyledItemDelegate>

#include <memory>

#include "logview/list_table.h"

namespace parvolin::logview::ui {

// The colours of the list's page: the table's background ("aqua") and the links'.
inline const QColor kListBackground(0x00, 0xFF, 0xFF);
inline const QColor kLinkColor(0x00, 0x00, 0xEE);
inline constexpr char kPlayText[] = "Play";

// The call list as a table: one row per row of a ListTable, the page's six columns and header
// texts, its cell alignment and background. Cells are made when the view asks for them, so a
// list of any length costs only what is on screen.
class ListTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The recording a row's "Play" link names (a QString), in the duration column; none when the
  // call was not recorded.
  static constexpr int kLinkRole = Qt::UserRole + 1;

  explicit ListTableModel(QObject* parent = nullptr);

  // Shows `table` instead of the table shown so far.
  void setTable(std::shared_ptr<const ListTable> table);
  const std::shared_ptr<const ListTable>& table() const { return table_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::shared_ptr<const ListTable> table_;
};

// Draws the duration cell as the page does: the duration, then the "Play" link, right-aligned.
class ListRowDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

  // Where the "Play" link of `index` lies in a cell at `cell`; empty when it has none.
  static QRect linkRect(const QRect& cell, const QFont& font, const QModelIndex& index);
};

}  // namespace parvolin::logview::ui
