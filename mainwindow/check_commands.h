#pragma once

#include "interfaces/list_view.h"
#include "interfaces/message_boxes.h"

#include <QString>

#include <functional>

// The bulk check commands, shared by the main window and the larger list view.
namespace tallyhive {

// The window a command works on: its list, its KeepChecks flag, its own
// RefreshCounts and the boxes that report failures and ask for text.
struct CheckTarget {
    platform::ListView& list;
    bool& keepChecks;
    std::function<void(bool reset)> refreshCounts;
    platform::MessageBoxes& boxes;
};

// The line numbers a Check All or Uncheck All reports for its steps.
struct BulkCheckLines {
    int takeRowCount;
    int markRows;
    int refreshCounts;
    int resetKeepChecks;
};
// The main window's Check All has no numbered steps: every failure is line 0.
inline constexpr BulkCheckLines MainCheckAllLines{0, 0, 0, 0};
inline constexpr BulkCheckLines LargerViewCheckAllLines{110, 112, 118, 120};
inline constexpr BulkCheckLines UncheckAllLines{100, 102, 106, 108};

struct ClearListLines {
    int removeRows;
    int removeOtherRows;
    int refreshCounts;
};
inline constexpr ClearListLines MainClearListLines{100, 0, 200};
inline constexpr ClearListLines LargerViewClearListLines{100, 102, 104};

enum class TextMatch { Containing, NotContaining };

void CheckAll(const CheckTarget& target, const QString& location, const BulkCheckLines& lines);
void UncheckAll(const CheckTarget& target, const QString& location, const BulkCheckLines& lines = UncheckAllLines);
// Removes every row of the target's list and, when given, of a second list
// that shows the same rows.
void ClearList(const CheckTarget& target, const QString& location, const ClearListLines& lines,
               platform::ListView* otherList = nullptr);
// "Check Emails Containing..." / "Check Emails Not Containing...": asks for a
// text and checks the rows whose From, Subject or Received Date hold it (or
// hold it in none of them), ignoring letter case.
void CheckByText(const CheckTarget& target, const QString& location, TextMatch match);

// Whether a row's searched fields match a lower-cased search text.
bool RowMatches(const platform::ListView& list, int row, const QString& lowerText, TextMatch match);

}  // namespace tallyhive
