#pragma once

#include "mainwindow/window_parts.h"

#include <QObject>

class QPushButton;
class QWidget;

namespace tallyhive {


// "3. Send To Excel": the checked rows into a new workbook, its progress on
// the status line.
class ExportButton : public QObject {
    Q_OBJECT
public:
    ExportButton(QWidget* face, WindowParts& window, QObject* parent);

    void PushButton4_Click();

private:
    WindowParts& window_;
    QPushButton* PushButton4;
};

}  // namespace tallyhive
