// "1. Connect" against a server that lists a great many folders: how long the
// window takes to be idle again, the longest it goes without processing its
// events on the way, and how long the "Other:" drop-down takes to open.
// Goal: no wait of a second or more anywhere.
//
//     folder_bench                     # 100,000 and 200,000 folders
//     folder_bench --folders 50000     # one listing of that size
#include "event_gaps.h"
#include "mainwindow/form1.h"
#include "program/config.h"
#include "platform/mailbox/mailbox_component.h"
#include "platform/xlsx/xlsx_spreadsheet.h"
#include "program/component_options.h"
#include "support/memory_settings_store.h"
#include "support/process_memory.h"
#include "support/recording_message_boxes.h"
#include "support/scripted_imap_server.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

using namespace tallyhive;
using tallyhive::testing::ScriptedImapServer;

// Folders named as a large organisation's are, about 40 bytes each, a few
// of them with names no encoding gives back as they were listed, and one of 10 KB.
ScriptedImapServer::Script folderScript(int folders)
{
    auto script = ScriptedImapServer::normalMailbox(1);
    for (int n = 0; n < folders; ++n)
        script.mailboxes[QStringLiteral("Clients/Client %1/Correspondence").arg(n, 6, 10, QLatin1Char('0'))];
    const std::vector<QByteArray> awkward{"bad&-utf7&ZZZ", QByteArray("tab\there\x01", 10), "latin1 \xe9t\xe9", "&AGE-lias"};
    for (const QByteArray& listed : awkward) {
        const QString key = QStringLiteral("awkward %1").arg(script.listedAs.size());
        script.mailboxes[key] = {ScriptedImapServer::sampleMessage(1)};
        script.listedAs[key] = listed;
    }
    script.mailboxes[QString(10 * 1024, u'L')];
    return script;
}

struct Figures {
    double connectSeconds = 0;
    double longestGapMs = 0;
    double popupMs = 0;
    double disconnectMs = 0;
    int offered = 0;
    QString lastEntry;
    double growthMb = 0;
};

Figures connectTo(int folders)
{
    ScriptedImapServer server(folderScript(folders));
    server.applyEnvironment();
    testing::RecordingMessageBoxes boxes;
    testing::MemorySettingsStore settings;
    platform::XlsxSpreadsheetFactory spreadsheets(workbookOptionsFromConfig());
    const platform::ImapServer imapServer = imapServerFromConfig();
    const platform::ImapOptions options = imapOptionsFromConfig();
    const Deployment deployment = config::deployment();
    Form1 window(Form1Services{boxes, settings, spreadsheets, imapServer, deployment, [options] { return platform::createImapComponent(options); }});
    window.Form_Load();
    window.show();
    window.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("tester@example.org"));
    window.findChild<QComboBox*>(QStringLiteral("Combo1"))->setCurrentIndex(0);
    window.findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("Correct-Horse-7"));
    QApplication::processEvents();

    Figures figures;
    EventGaps gaps;
    testing::resetPeakResident();
    const qint64 before = testing::residentBytes();
    gaps.start();
    window.PushButton1_Click();
    QApplication::processEvents();  // what the command left to paint
    figures.connectSeconds = gaps.clock().nsecsElapsed() / 1e9;
    gaps.markTurn();
    gaps.stop();
    figures.growthMb = (testing::peakResidentBytes() - before) / 1048576.0;
    figures.longestGapMs = gaps.longestMs();
    if (!window.isConnected())
        std::fprintf(stderr, "not connected: %s\n", qPrintable(boxes.texts().join(u'|')));

    QElapsedTimer popup;
    popup.start();
    window.findChild<QComboBox*>(QStringLiteral("Combo2"))->showPopup();
    QApplication::processEvents();
    window.findChild<QComboBox*>(QStringLiteral("Combo2"))->hidePopup();
    figures.popupMs = popup.nsecsElapsed() / 1e6;
    figures.offered = window.findChild<QComboBox*>(QStringLiteral("Combo2"))->count();
    if (figures.offered > 0)
        figures.lastEntry = window.findChild<QComboBox*>(QStringLiteral("Combo2"))->itemText(figures.offered - 1).left(70);

    // The listing goes with the session.
    QElapsedTimer disconnect;
    disconnect.start();
    window.PushButton1_Click();
    figures.disconnectMs = disconnect.nsecsElapsed() / 1e6;
    return figures;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir temp;
    qputenv("TEMP", temp.path().toUtf8());
    qputenv("TALLYHIVE_PING_HOST", "");
    qputenv("TALLYHIVE_HOME_PAGE", "");
    qputenv("TALLYHIVE_SIGN_IN", "password");
    QApplication application(argc, argv);

    std::vector<int> sizes{100000, 200000};
    const QStringList arguments = QApplication::arguments();
    if (const auto at = arguments.indexOf(QStringLiteral("--folders")); at > 0 && at + 1 < arguments.size())
        sizes = {arguments[at + 1].toInt()};

    std::printf("%9s %10s %15s %9s %14s %8s %11s  %s\n", "folders", "connect s", "longest gap ms", "popup ms", "disconnect ms",
                "offered", "growth MB", "last entry");
    for (const int folders : sizes) {
        const Figures f = connectTo(folders);
        std::printf("%9d %10.2f %15.1f %9.1f %14.1f %8d %11.1f  %s\n", folders, f.connectSeconds, f.longestGapMs, f.popupMs,
                    f.disconnectMs, f.offered, f.growthMb, qPrintable(f.lastEntry));
        std::fflush(stdout);
    }
    return 0;
}
