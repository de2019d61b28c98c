#pragma once

class QAbstractButton;

namespace tallyhive {

// A button whose click changes its role ("1. Connect" becomes "Disconnect",
// "2a. Get All Emails" becomes "Stop") takes a double click as one click:
// the second click would land on the new role and undo the first. A click
// after the desktop's double-click interval is a click again.
void takeDoubleClickAsOne(QAbstractButton* button);

}  // namespace tallyhive
