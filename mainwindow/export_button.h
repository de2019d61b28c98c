#pragma once

#include "interfaces/message_boxes.h"
#include "interfaces/spreadsheet.h"

#include <QObject>

class QPushButton;
class QWidget;

namespace tallyhive {

class EmailList;
class StatusProgressBar;
class WindowActivity;
class WindowPointer;

// "3. Send To Excel": the checked rows into a new workbook, its progress on
// the status line.
class ExportButton : public QObject {
    Q_OBJECT
public:
    struct Window {
        EmailList& list;
        StatusProgressBar& progress;
        const WindowActivity& activity;
        WindowPointer& pointer;
        platform::SpreadsheetFactory& spreadsheets;
        platform::MessageBoxes& boxes;
    };
    ExportButton(QWidget* face, Window window, QObject* parent);

    void PushButton4_Click();

private:
    Window window_;
    QPushButton* PushButton4;
};

}  // namespace tallyhive
