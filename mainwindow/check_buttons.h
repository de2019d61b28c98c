#pragma once

#include "mainwindow/check_commands.h"
#include "mainwindow/window_parts.h"

#include <QObject>

class QPushButton;
class QWidget;

namespace tallyhive {

// The commands under the list: check, uncheck and clear its rows, and open
// it in the larger view.
class CheckButtons : public QObject {
    Q_OBJECT
public:
    CheckButtons(QWidget* face, WindowParts& window, QObject* parent);

    void PushButton5_Click();   // "Check All"
    void PushButton6_Click();   // "Uncheck All"
    void PushButton7_Click();   // "Clear List"
    void PushButton8_Click();   // "Show List In Larger View"
    void PushButton9_Click();   // "Check Emails Containing..."
    void PushButton10_Click();  // "Check Emails Not Containing..."

private:
    // The list as the commands work on it.
    CheckTarget target() const;

    WindowParts& window_;
    QPushButton* PushButton5;
    QPushButton* PushButton6;
    QPushButton* PushButton9;
    QPushButton* PushButton10;
    QPushButton* PushButton7;
    QPushButton* PushButton8;
};

}  // namespace tallyhive
