#include "mainwindow/check_commands.h"

#include "app/numbered_handler.h"
#include "app/texts.h"
#include "mainwindow/chosen_columns.h"

namespace tallyhive {
namespace {

// The fields a check-by-text command searches.
constexpr const QString EmailRecord::*SearchedFields[] = {&EmailRecord::s_From, &EmailRecord::s_Subject,
                                                          &EmailRecord::s_ReceivedDate};

// An empty text occurs in every non-empty field and in no empty one.
bool occursIn(const QString& field, const QString& lowerText)
{
    return !field.isEmpty() && field.toLower().contains(lowerText);
}

void markAll(const CheckTarget& target, const QString& location, const BulkCheckLines& lines, bool checked)
{
    NumberedHandler handler(target.boxes, location);
    int rows = 0;
    handler.step(lines.takeRowCount, [&] { rows = target.list.rowCount(); });
    for (int row = 1; row <= rows; ++row)
        handler.step(lines.markRows, [&] { target.list.setChecked(row, checked); });
    handler.step(lines.refreshCounts, [&] { target.refreshCounts(false); });
    handler.step(lines.resetKeepChecks, [&] { target.keepChecks = false; });
}

}  // namespace

bool RowMatches(const platform::ListView& list, int row, const QString& lowerText, TextMatch match)
{
    const EmailRecord& record = list.record(row);
    bool occurs = false;
    for (const auto field : SearchedFields)
        occurs = occurs || occursIn(record.*field, lowerText);
    // A column the user chose is searched too.
    for (int column = 1; !occurs && column <= list.columnCount(); ++column) {
        if (isExtraField(list.columnField(column)))
            occurs = occursIn(record.fieldText(list.columnField(column)), lowerText);
    }
    return match == TextMatch::Containing ? occurs : !occurs;
}

void CheckAll(const CheckTarget& target, const QString& location, const BulkCheckLines& lines)
{
    markAll(target, location, lines, true);
}

void UncheckAll(const CheckTarget& target, const QString& location, const BulkCheckLines& lines)
{
    markAll(target, location, lines, false);
}

void ClearList(const CheckTarget& target, const QString& location, const ClearListLines& lines,
               platform::ListView* otherList)
{
    NumberedHandler handler(target.boxes, location);
    handler.step(lines.removeRows, [&] { target.list.removeAllRows(); });
    if (otherList)
        handler.step(lines.removeOtherRows, [&] { otherList->removeAllRows(); });
    handler.step(lines.refreshCounts, [&] { target.refreshCounts(true); });
}

void CheckByText(const CheckTarget& target, const QString& location, TextMatch match)
{
    NumberedHandler handler(target.boxes, location);
    // A plain int: lists of any length are walked in full.
    int rows = 0;
    handler.step(110, [&] { rows = target.list.rowCount(); });
    std::optional<QString> answer;
    handler.step(112, [&] { answer = target.boxes.input(texts::EnterX, texts::AppTitle, QString()); });
    // Cancel means the user changed their mind: no mark and no flag moves.
    if (!answer)
        return;
    const QString lowerText = answer->toLower();
    for (int row = 1; row <= rows; ++row) {
        handler.step(116, [&] {
            if (!target.keepChecks)
                target.list.setChecked(row, false);
        });
        bool matches = false;
        handler.step(118, [&] { matches = RowMatches(target.list, row, lowerText, match); });
        handler.step(120, [&] {
            if (matches) {
                target.list.setChecked(row, true);
                target.keepChecks = true;
            }
        });
    }
    handler.step(126, [&] { target.refreshCounts(false); });
}

}  // namespace tallyhive
