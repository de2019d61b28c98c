#include "platform/qt/list_rows_model.h"

#include "app/general_date.h"
#include "app/texts.h"
#include "interfaces/error.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>

namespace tallyhive::platform {
ListRowsModel::ListRowsModel(QObject* parent) : QAbstractTableModel(parent) {}

int ListRowsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : announcedRows_; }

int ListRowsModel::storedRows() const { return static_cast<int>(rows_.size()); }

int ListRowsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : titles_.size(); }

QVariant ListRowsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const Row& row = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return text(index.row(), index.column());
    if (role == Qt::CheckStateRole && index.column() == 0)
        return row.checked ? Qt::Checked : Qt::Unchecked;
    return {};
}

QVariant ListRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return titles_.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ListRowsModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == 0)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

bool ListRowsModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole)
        return false;
    const bool checked = value.value<Qt::CheckState>() == Qt::Checked;
    rows_[static_cast<size_t>(index.row())].checked = checked;
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    if (userCheck_)
        userCheck_(index.row());
    return true;
}

void ListRowsModel::insertColumn(int column, const QString& title, RecordField field)
{
    if (column < 0 || column > titles_.size())
        throw AppError(texts::IndexOutOfBounds);
    beginInsertColumns(QModelIndex(), column, column);
    titles_.insert(column, title);
    fields_.insert(fields_.begin() + column, field);
    endInsertColumns();
}

void ListRowsModel::removeColumn(int column)
{
    if (column < 0 || column >= titles_.size())
        throw AppError(texts::IndexOutOfBounds);
    beginRemoveColumns(QModelIndex(), column, column);
    titles_.removeAt(column);
    fields_.erase(fields_.begin() + column);
    endRemoveColumns();
}

RecordField ListRowsModel::field(int column) const
{
    if (column < 0 || column >= titles_.size())
        throw AppError(texts::IndexOutOfBounds);
    return fields_[static_cast<size_t>(column)];
}

QString ListRowsModel::title(int column) const
{
    if (column < 0 || column >= titles_.size())
        throw AppError(texts::IndexOutOfBounds);
    return titles_[column];
}

int ListRowsModel::appendRow(EmailRecord record)
{
    const int row = static_cast<int>(rows_.size());
    rows_.push_back(Row{std::move(record), false});
    queueAnnouncement();
    return row;
}

const EmailRecord& ListRowsModel::record(int row) const { return rowAt(row).record; }

QString ListRowsModel::text(int row, int column) const
{
    const RecordField shownField = field(column);
    const EmailRecord& shown = rowAt(row).record;
    if (shownField != RecordField::DayNumber)
        return shown.fieldText(shownField);
    const auto day = general_date::dayNumber(shown.receivedAt);
    return day ? QString::number(*day) : QString();
}

bool ListRowsModel::checked(int row) const { return rowAt(row).checked; }

void ListRowsModel::setChecked(int row, bool checked)
{
    Row& target = rowAt(row);
    if (target.checked == checked)
        return;
    target.checked = checked;
    noteChanged(row);
}

void ListRowsModel::clearRows()
{
    beginResetModel();
    rows_.clear();
    announcedRows_ = 0;
    sinceRowsAnnounced_.invalidate();
    changedFirst_ = changedLast_ = -1;
    endResetModel();
}

void ListRowsModel::announceChanges()
{
    announcementQueued_ = false;
    appendedRowsTimed_ = false;
    // Rows the view has not seen yet arrive with their texts; only rows it
    // already shows need a change notice.
    const int seen = announcedRows_;
    if (storedRows() > seen) {
        beginInsertRows(QModelIndex(), seen, storedRows() - 1);
        announcedRows_ = storedRows();
        endInsertRows();
        sinceRowsAnnounced_.start();
    }
    if (changedFirst_ < 0)
        return;
    const int first = changedFirst_;
    const int last = std::min(changedLast_, seen - 1);
    changedFirst_ = changedLast_ = -1;
    if (first <= last && !titles_.isEmpty())
        Q_EMIT dataChanged(index(first, 0), index(last, titles_.size() - 1));
}

void ListRowsModel::setUserCheckHandler(std::function<void(int row)> handler) { userCheck_ = std::move(handler); }

const ListRowsModel::Row& ListRowsModel::rowAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        throw AppError(texts::IndexOutOfBounds);
    return rows_[static_cast<size_t>(row)];
}

ListRowsModel::Row& ListRowsModel::rowAt(int row)
{
    return const_cast<Row&>(static_cast<const ListRowsModel*>(this)->rowAt(row));
}

void ListRowsModel::noteChanged(int row)
{
    changedFirst_ = changedFirst_ < 0 ? row : std::min(changedFirst_, row);
    changedLast_ = std::max(changedLast_, row);
    queueAnnouncement();
}

void ListRowsModel::queueAnnouncement()
{
    constexpr qint64 kAppendedRowsPacingMs = 250;
    const bool shownRowChanged = changedFirst_ >= 0 && changedFirst_ < announcedRows_;
    const qint64 wait = sinceRowsAnnounced_.isValid() ? kAppendedRowsPacingMs - sinceRowsAnnounced_.elapsed() : 0;
    if (!shownRowChanged && wait > 0) {
        if (!announcementQueued_ && !appendedRowsTimed_) {
            appendedRowsTimed_ = true;
            QTimer::singleShot(wait, this, &ListRowsModel::announceChanges);
        }
        return;
    }
    if (!announcementQueued_) {
        announcementQueued_ = true;
        QMetaObject::invokeMethod(this, &ListRowsModel::announceChanges, Qt::QueuedConnection);
    }
}

}  // namespace tallyhive::platform
