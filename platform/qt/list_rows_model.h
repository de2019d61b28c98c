#pragma once

#include "interfaces/email_record.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QStringList>

#include <functional>
#include <vector>

namespace tallyhive::platform {

// The rows of a QtListView: an email record and a check mark per row, shown
// in columns with titles. Indexes here are 0-based, as Qt counts; QtListView turns the
// program's 1-based numbers into these. Rows keep the order they came in:
// row k belongs to the program's record k, so the model never sorts them.
class ListRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ListRowsModel(QObject* parent = nullptr);

    // The rows the view knows of; rows appended since reach it at the next
    // announcement.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // Every row, announced or not: what the program counts.
    int storedRows() const;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Reached only through the view, i.e. by the user: a check change here is
    // reported to the user-check handler.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    void insertColumn(int column, const QString& title, RecordField field);
    void removeColumn(int column);
    QString title(int column) const;
    RecordField field(int column) const;
    int appendRow(EmailRecord record);
    const EmailRecord& record(int row) const;
    // What the row shows in the column: its field's text, or the day number.
    QString text(int row, int column) const;
    bool checked(int row) const;
    // A change made by the program: no user-check report.
    void setChecked(int row, bool checked);
    void clearRows();
    // Tells the view now about every change still waiting to be announced.
    void announceChanges();

    void setUserCheckHandler(std::function<void(int row)> handler);

private:
    struct Row {
        EmailRecord record;
        bool checked = false;
    };

    const Row& rowAt(int row) const;
    Row& rowAt(int row);
    void noteChanged(int row);
    void queueAnnouncement();

    QStringList titles_;
    std::vector<RecordField> fields_;  // one per title
    std::vector<Row> rows_;
    std::function<void(int row)> userCheck_;
    // Bulk commands touch every row and a fetch appends one row per message;
    // announcing each change separately makes the view lay out and repaint
    // per row, so appended rows and changes are gathered and announced once,
    // when the event loop next runs. Each announcement of new rows makes the
    // view lay out and repaint all it shows, so while rows pour in, rows
    // that only lengthen the list wait for the next quarter second; a change
    // to a row the view shows goes at the next run of the loop all the same.
    int announcedRows_ = 0;
    int changedFirst_ = -1;
    int changedLast_ = -1;
    bool announcementQueued_ = false;
    bool appendedRowsTimed_ = false;
    QElapsedTimer sinceRowsAnnounced_;
};

}  // namespace tallyhive::platform
