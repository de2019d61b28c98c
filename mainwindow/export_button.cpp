#include "mainwindow/export_button.h"

#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "app/window/window_prep.h"
#include "export/send_to_excel.h"
#include "mainwindow/email_list.h"
#include "mainwindow/fetch_panel.h"
#include "mainwindow/status_progress_bar.h"
#include "mainwindow/window_activity.h"

#include <QPushButton>

namespace tallyhive {

ExportButton::ExportButton(QWidget* face, WindowParts& window, QObject* parent) : QObject(parent), window_(window)
{
    PushButton4 = new QPushButton(texts::SendToExcelCaption, face);
    PushButton4->setObjectName(QStringLiteral("PushButton4"));
    PushButton4->setGeometry(twipsRect(120, 8760, 7800, 405));
    connect(PushButton4, &QPushButton::clicked, this, &ExportButton::PushButton4_Click);
}

void ExportButton::PushButton4_Click()
{
    StatusProgressBar* ProgressBar1 = &window_.fetch->progress();
    // The status line shows the export's progress, then goes idle as after a
    // fetch; or, when the export ran in the middle of a fetch, back to the
    // fetch's progress. The fetch waits under the export, so that progress
    // is still the one shown before it.
    const QString runStatus = ProgressBar1->status();
    const int runPosition = ProgressBar1->position();
    const auto restoreWindow = [this, ProgressBar1, runStatus, runPosition] {
        if (window_.activity.fetching()) {
            window_.pointer.setBusy();
            ProgressBar1->setStatus(runStatus);
            ProgressBar1->setPosition(runPosition);
            return;
        }
        window_.pointer.setDefault();
        ProgressBar1->setStatus(texts::ProgressBarIdle);
        ProgressBar1->setPosition(0);
    };
    const auto rowReached = [ProgressBar1](int row, int rows) {
        ProgressBar1->setPosition(static_cast<int>(100LL * row / rows));
        ProgressBar1->setStatus(texts::SendingRow + QString::number(row) + texts::Of + QString::number(rows));
    };
    SendToExcel(window_.list->view(), window_.services.spreadsheets, window_.services.boxes, restoreWindow, rowReached);
}

}  // namespace tallyhive
