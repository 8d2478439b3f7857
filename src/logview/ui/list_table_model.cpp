#include "logview/ui/list_table_model.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include "widgets/ui/qt_text.h"

namespace parvolin::logview::ui {
namespace {

constexpr int kCellMargin = 3;

ListColumn columnOf(int section) {
  return static_cast<ListColumn>(section);
}

}  // namespace

ListTableModel::ListTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void ListTableModel::setTable(std::shared_ptr<const ListTable> table) {
  beginResetModel();
  table_ = std::move(table);
  endResetModel();
}

int ListTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !table_ ? 0 : int(table_->size());
}

int ListTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kListColumnCount;
}

QVariant ListTableModel::data(const QModelIndex& index, int role) const {
  if (!table_ || !index.isValid() || std::size_t(index.row()) >= table_->size()) return {};
  const std::size_t row = std::size_t(index.row());
  const ListColumn column = columnOf(index.column());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      if (role == Qt::ToolTipRole && column != ListColumn::kText) return {};
      return widgets::toQString(table_->cell(row, column));
    case Qt::TextAlignmentRole:
      if (column == ListColumn::kText) return int(Qt::AlignLeft | Qt::AlignVCenter);
      if (column == ListColumn::kDuration) {
        // An un-answered call's cell is a plain one, left-aligned like the text.
        return table_->row(row).recorded() ? int(Qt::AlignRight | Qt::AlignVCenter)
                                           : int(Qt::AlignLeft | Qt::AlignVCenter);
      }
      return int(Qt::AlignCenter);
    case Qt::BackgroundRole:
      return kListBackground;
    case kLinkRole:
      if (column != ListColumn::kDuration || table_->row(row).link.empty()) return {};
      return widgets::toQString(table_->row(row).link);
    default:
      return {};
  }
}

QVariant ListTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kListColumnCount) return {};
  switch (role) {
    case Qt::DisplayRole:
      return widgets::toQString(kListColumnTitles[std::size_t(section)]).trimmed();
    case Qt::FontRole: {
      QFont bold;
      bold.setBold(true);
      return bold;
    }
    case Qt::TextAlignmentRole:
      return int(Qt::AlignCenter);
    case Qt::BackgroundRole:
      return kListBackground;
    default:
      return {};
  }
}

QRect ListRowDelegate::linkRect(const QRect& cell, const QFont& font, const QModelIndex& index) {
  if (!index.data(ListTableModel::kLinkRole).isValid()) return {};
  QFont linkFont(font);
  linkFont.setUnderline(true);
  const int width = QFontMetrics(linkFont).horizontalAdvance(kPlayText);
  const QRect inner = cell.adjusted(kCellMargin, 0, -kCellMargin, 0);
  return QRect(inner.right() - width + 1, inner.top(), width, inner.height());
}

void ListRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  const QRect link = linkRect(option.rect, option.font, index);
  if (link.isEmpty()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  // The background (or the selection), then the duration and the link.
  painter->fillRect(option.rect, option.state & QStyle::State_Selected ? option.palette.highlight()
                                                                       : QBrush(kListBackground));
  painter->save();
  painter->setFont(option.font);
  painter->setPen(option.state & QStyle::State_Selected ? option.palette.highlightedText().color()
                                                        : option.palette.text().color());
  const QRect before(option.rect.left() + kCellMargin, option.rect.top(),
                     link.left() - option.rect.left() - kCellMargin, option.rect.height());
  painter->drawText(before, Qt::AlignRight | Qt::AlignVCenter, index.data().toString());
  QFont linkFont(option.font);
  linkFont.setUnderline(true);
  painter->setFont(linkFont);
  painter->setPen(kLinkColor);
  painter->drawText(link, Qt::AlignRight | Qt::AlignVCenter, kPlayText);
  painter->restore();
}

}  // namespace parvolin::logview::ui
