#include "mainwindow/form1.h"

#include "app/locations.h"
#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "export/send_to_excel.h"
#include "mainwindow/check_commands.h"
#include "mainwindow/form4_opening.h"
#include "mainwindow/status_progress_bar.h"
#include "platform/qt/qt_list_view.h"

namespace tallyhive {
namespace {

CheckTarget mainTarget(Form1& window, platform::MessageBoxes& boxes)
{
    return CheckTarget{*window.ListView1, window.KeepChecks, [&window](bool reset) { window.RefreshCounts(reset); },
                       boxes};
}

}  // namespace

void Form1::PushButton4_Click()
{
    // The status line shows the export's progress, then goes idle as after a
    // fetch; or, when the export ran in the middle of a fetch, back to the
    // fetch's progress. The fetch waits under the export, so that progress
    // is still the one shown before it.
    const QString runStatus = statusText();
    const int runPosition = ProgressBar1->position();
    const auto restoreWindow = [this, runStatus, runPosition] {
        if (fetchRunning_) {
            pointer_->setBusy();
            ProgressBar1->setStatus(runStatus);
            ProgressBar1->setPosition(runPosition);
            return;
        }
        pointer_->setDefault();
        ProgressBar1->setStatus(texts::ProgressBarIdle);
        ProgressBar1->setPosition(0);
    };
    const auto rowReached = [this](int row, int rows) {
        ProgressBar1->setPosition(static_cast<int>(100LL * row / rows));
        ProgressBar1->setStatus(texts::SendingRow + QString::number(row) + texts::Of + QString::number(rows));
    };
    SendToExcel(*ListView1, services_.spreadsheets, services_.boxes, restoreWindow, rowReached);
}

void Form1::PushButton5_Click() { CheckAll(mainTarget(*this, services_.boxes), locations::CheckAll, MainCheckAllLines); }

void Form1::PushButton6_Click() { UncheckAll(mainTarget(*this, services_.boxes), locations::UncheckAll); }

void Form1::PushButton7_Click()
{
    ClearList(mainTarget(*this, services_.boxes), locations::ClearList, MainClearListLines);
}

void Form1::PushButton8_Click()
{
    ShowListInLargerView(*ListView1, services_.boxes, [this](bool reset) { RefreshCounts(reset); }, this);
}

void Form1::PushButton9_Click()
{
    CheckByText(mainTarget(*this, services_.boxes), locations::CheckContaining, TextMatch::Containing);
}

void Form1::PushButton10_Click()
{
    CheckByText(mainTarget(*this, services_.boxes), locations::CheckNotContaining, TextMatch::NotContaining);
}

}  // namespace tallyhive
