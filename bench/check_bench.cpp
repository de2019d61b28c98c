// Times the check commands and the larger list view on a 50,000-row list.
// Goal: each command, counts included, well under a second.
#include "app/locations.h"
#include "app/pending_events.h"
#include "mainwindow/check_commands.h"
#include "mainwindow/email_counts.h"
#include "mainwindow/form4.h"
#include "mainwindow/form4_opening.h"
#include "mainwindow/list_columns.h"
#include "platform/qt/qt_list_view.h"

#include "support/recording_message_boxes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

using namespace tallyhive;

constexpr int Rows = 50000;

void report(const char* what, const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    std::printf("%-46s %8.1f ms\n", what, timer.nsecsElapsed() / 1e6);
}

void closeLargerViewWhenOpen()
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll] {
        auto* form = qobject_cast<Form4*>(QApplication::activeModalWidget());
        if (!form || !form->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        form->close();
    });
    poll->start(0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    platform::QtListView list;
    QLabel total;
    QLabel selected;
    testing::RecordingMessageBoxes boxes;
    bool keepChecks = false;
    const CheckTarget target{list, keepChecks,
                             [&](bool reset) { RefreshCounts(list, total, selected, reset); }, boxes};
    for (size_t i = 0; i < ListColumnTitles.size(); ++i)
        list.addColumn(ListColumnTitles[i], ListColumnFields[i]);
    list.resize(1000, 600);
    list.show();

    report("fill 50,000 rows (a record each)", [&] {
        for (int i = 1; i <= Rows; ++i) {
            list.addRow({QStringLiteral("Sender %1 <sender%1@example.org>").arg(i), QStringLiteral("Sender %1").arg(i),
                         QStringLiteral("sender%1@example.org").arg(i),
                         i % 7 == 0 ? QStringLiteral("Monthly Invoice %1").arg(i) : QStringLiteral("Meeting notes %1").arg(i),
                         QStringLiteral("3/1/2015 10:%1:00 AM").arg(i % 60, 2, 10, QLatin1Char('0')), {}, {},
                         QDateTime(QDate(2015, 3, 1), QTime(10, i % 60))});
        }
        QCoreApplication::processEvents();
    });

    report("Check All + counts", [&] { CheckAll(target, locations::CheckAll, MainCheckAllLines); });
    report("Uncheck All + counts", [&] { UncheckAll(target, locations::UncheckAll); });
    boxes.answers.push_back(QStringLiteral("INVOICE"));
    report("Check Emails Containing... + counts", [&] {
        CheckByText(target, locations::CheckContaining, TextMatch::Containing);
    });
    std::printf("  -> %s\n", qPrintable(selected.text()));
    boxes.answers.push_back(QStringLiteral("meeting"));
    report("Check Emails Not Containing... + counts", [&] {
        CheckByText(target, locations::CheckNotContaining, TextMatch::NotContaining);
    });

    report("CountChecked alone (bounded yields)", [&] { CountChecked(list); });
    report("for comparison: yielding after every row", [&] {
        for (int row = 1; row <= list.rowCount(); ++row) {
            (void)list.isChecked(row);
            letPendingEventsRun();
        }
    });

    closeLargerViewWhenOpen();
    report("open larger view (copy, show, close, counts)", [&] {
        ShowListInLargerView(list, boxes, [&](bool reset) { RefreshCounts(list, total, selected, reset); });
    });
    std::printf("  -> %s; error boxes: %zu\n", qPrintable(selected.text()), boxes.shown.size());
    return 0;
}
