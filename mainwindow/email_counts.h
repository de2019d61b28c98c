#pragma once

#include "interfaces/list_view.h"

class QLabel;

namespace tallyhive {

// The number of checked rows. Lets pending window events run while it walks,
// so a long list does not freeze the window.
int CountChecked(const platform::ListView& list);

// Rewrites the two count labels under a list: "Total Number Of Emails: " with
// the row count and "Selected Emails: " with the checked count, or both 0
// when reset is true.
void RefreshCounts(const platform::ListView& list, QLabel& totalLabel, QLabel& selectedLabel, bool reset);

}  // namespace tallyhive
