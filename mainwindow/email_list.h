#pragma once

#include "mainwindow/check_commands.h"

#include <QObject>

class QLabel;
class QWidget;

namespace tallyhive {

namespace platform {
class ListView;
class SettingsStore;
class QtListView;
}
class NumberedHandler;

// The email list with its two counts, and the note shown over the empty list
// while a sign-in waits for the browser.
class EmailList : public QObject {
    Q_OBJECT
public:
    EmailList(QWidget* face, QObject* parent);

    platform::ListView& view() const;
    void RefreshCounts(bool reset);
    void showSignInHelp(bool shown);

    // The start-up steps: the columns (with those the settings add) and an
    // empty list, then the counts.
    void prepare(NumberedHandler& h, platform::SettingsStore& settings);
    void showCounts(NumberedHandler& h);

    // The list as the check commands work on it.
    CheckTarget checkTarget(platform::MessageBoxes& boxes);
    // A later check-by-text starts afresh instead of adding to the rows it checked.
    void resetKeepChecks() { KeepChecks = false; }

private:
    void AddListColumns(NumberedHandler& h);
    void ListView1_ItemCheck(int row);

    platform::QtListView* ListView1;
    QLabel* lblSignInHelp;
    QLabel* Label1;
    QLabel* Label2;
    bool KeepChecks = false;
};

}  // namespace tallyhive
