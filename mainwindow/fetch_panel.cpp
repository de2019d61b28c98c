#include "mainwindow/fetch_panel.h"

#include "app/error_log.h"
#include "app/locations.h"
#include "app/numbered_handler.h"
#include "app/pending_events.h"
#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "app/window/window_prep.h"
#include "interfaces/error.h"
#include "mainwindow/chosen_columns.h"
#include "mainwindow/email_list.h"
#include "mainwindow/folder_choice.h"
#include "mainwindow/form2.h"
#include "mainwindow/one_click.h"
#include "mainwindow/status_progress_bar.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <optional>

namespace tallyhive {
namespace {

constexpr int FetchButtonWidth = 3840;
constexpr int WideStopWidth = 7800;

void setWidthTwips(QPushButton* button, int twips) { button->resize(twipsToPixels(twips), button->height()); }

std::shared_ptr<clsChilkatIMAP> require(const std::shared_ptr<clsChilkatIMAP>& session)
{
    if (!session)
        throw AppError(texts::ObjectNotSet);
    return session;
}

// A run that could not read all it was asked for never says a bare "Done.",
// nor ends silent, whatever flag an earlier command left. One the user ended
// says so without sounding like a fault.
QString closingText(const clsChilkatIMAP* run, bool skipDone)
{
    const RunShortfall shortfall = run ? run->Shortfall : RunShortfall{};
    if (shortfall.stopped) {
        const QString unread = texts::RunStoppedUnread.arg(shortfall.notRead).arg(shortfall.firstReason);
        return texts::RunStopped.arg(shortfall.read).arg(shortfall.asked) + (shortfall.notRead > 0 ? unread : QString());
    }
    if (shortfall.notRead > 0)
        return texts::RunIncomplete.arg(shortfall.notRead).arg(shortfall.asked).arg(shortfall.firstReason);
    return skipDone ? QString() : texts::Done;
}

}  // namespace

FetchPanel::FetchPanel(QWidget* face, WindowParts& window, QObject* parent) : QObject(parent), window_(window)
{
    Frame4 = new QGroupBox(texts::FilterFrameCaption, face);
    Frame4->setObjectName(QStringLiteral("Frame4"));
    Frame4->setGeometry(twipsRect(120, 2400, 7800, 780));
    txtSearch = new QLineEdit(Frame4);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setGeometry(twipsRect(240, 330, 7320, 345));

    PushButton3 = new QPushButton(texts::GetAllCaption, face);
    PushButton3->setObjectName(QStringLiteral("PushButton3"));
    PushButton3->setGeometry(twipsRect(120, 3300, FetchButtonWidth, 405));
    PushButton2 = new QPushButton(texts::GetSomeCaption, face);
    PushButton2->setObjectName(QStringLiteral("PushButton2"));
    PushButton2->setGeometry(twipsRect(4080, 3300, FetchButtonWidth, 405));

    ProgressBar1 = new StatusProgressBar(face);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(twipsRect(120, 3810, 7800, 330));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setPosition(0);
    ProgressBar1->setStatus(texts::ProgressBarIdle);

    window_.pointer.alwaysCustomOver(PushButton2);
    window_.pointer.alwaysCustomOver(PushButton3);
    takeDoubleClickAsOne(PushButton2);
    takeDoubleClickAsOne(PushButton3);
    connect(PushButton2, &QPushButton::clicked, this, &FetchPanel::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &FetchPanel::PushButton3_Click);
}

void FetchPanel::setStatus(const QString& text) { ProgressBar1->setStatus(text); }

void FetchPanel::PushButton3_Click()
{
    NumberedHandler h(window_.services.boxes, locations::GetAll);
    if (h.test(100, [&] { return !window_.activity.connected(); })) {
        h.step(102, [&] { window_.services.boxes.show(texts::ConnectFirst, texts::AppTitle, platform::BoxIcon::None); });
        return;
    }
    if (h.test(104, [&] { return window_.activity.fetching(); })) {
        Stop();
        return;
    }
    // A stopped run still has its closing lines to run; a new one must not
    // start inside it.
    if (!startFetchRun(h))
        return;
    h.step(120, [&] { window_.list->view().removeAllRows(); });
    h.step(122, [&] { window_.list->view().setSortingEnabled(false); });
    h.step(124, [&] { window_.list->RefreshCounts(true); });
    h.step(126, [&] { window_.list->resetKeepChecks(); });

    std::shared_ptr<clsChilkatIMAP> session;
    std::optional<AllFoldersRun> allFolders;
    if (takeRunSession(h, 128, session)) {
        if (session && window_.folders->allFoldersChosen()) {
            allFolders.emplace(*session, window_.folders->allFolders());
            readAllFolders(h, *allFolders);
        } else {
            readOneFolder(h, session);
        }
    }
    closeFetchRun(h, 190, [&](bool skipDone) {
        return allFolders ? allFolders->closingText(skipDone) : closingText(session.get(), skipDone);
    });
}

void FetchPanel::readOneFolder(NumberedHandler& h, const std::shared_ptr<clsChilkatIMAP>& session)
{
    QString folder;
    h.step(152, [&] { folder = window_.folders->SelectedFolderName(); });
    int total = 0;
    if (h.test(172, [&] { return session != nullptr; }))
        h.step(176, [&] { total = session->GetTotalMessage(folder).value; });
    if (h.test(178, [&] { return require(session) && total > 0; })) {
        h.step(182, [&] { require(session)->StartMailExtraction(folder, 1, total); });
    } else {
        h.step(184, [&] { window_.services.boxes.show(texts::NoEmailsInFolder, texts::AppTitle, platform::BoxIcon::None); });
        h.step(186, [&] { window_.activity.holdBackDone() = true; });
    }
    h.step(188, [&] { window_.list->RefreshCounts(false); });
}

void FetchPanel::readAllFolders(NumberedHandler& h, AllFoldersRun& run)
{
    // One list of many folders says on each row where it came from.
    std::vector<RecordField> shown = shownExtraFields(window_.list->view());
    if (std::find(shown.begin(), shown.end(), RecordField::Folder) == shown.end()) {
        shown.push_back(RecordField::Folder);
        showExtraColumns(window_.list->view(), shown);
    }
    readingAll_ = &run;
    h.step(182, [&] { run.run(); });
    readingAll_ = nullptr;
    h.step(188, [&] { window_.list->RefreshCounts(false); });
}

void FetchPanel::PushButton2_Click()
{
    NumberedHandler h(window_.services.boxes, locations::GetSome);
    if (h.test(100, [&] { return !window_.activity.connected(); })) {
        h.step(102, [&] { window_.services.boxes.show(texts::ConnectFirst, texts::AppTitle, platform::BoxIcon::None); });
        return;
    }
    if (window_.folders->allFoldersChosen()) {
        window_.services.boxes.show(texts::AllFoldersNoRange, texts::AppTitle, platform::BoxIcon::None);
        return;
    }
    if (!startFetchRun(h))
        return;

    std::shared_ptr<clsChilkatIMAP> session;
    if (takeRunSession(h, 120, session)) {
        QString folder;
        h.step(144, [&] { folder = window_.folders->SelectedFolderName(); });
        Form2 dialog(window_.services.boxes, Frame4->window());
        if (h.test(164, [&] { return session != nullptr; })) {
            h.step(166, [&] { dialog.ChilkatIMAP = session; });
            h.step(168, [&] { dialog.MaxMessage = session->GetTotalMessage(folder).value; });
        }
        bool rangeRun = false;
        if (h.test(170, [&] { return require(session)->GetTotalMessage(folder).value > 0; })) {
            h.step(172, [&] {
                dialog.Form_Load();
                dialog.exec();
                // However it closed: only a run it starts may say "Done.".
                window_.activity.holdBackDone() = true;
            });
            rangeRun = !h.test(174, [&] { return !dialog.range(); });
            if (rangeRun) {
                h.step(176, [&] { window_.list->view().removeAllRows(); });
                h.step(178, [&] { window_.list->view().setSortingEnabled(false); });
                h.step(180, [&] { window_.list->RefreshCounts(true); });
                h.step(182, [&] { window_.activity.holdBackDone() = false; });
                h.step(186, [&] { require(session)->StartMailExtraction(folder, dialog.range()->first, dialog.range()->last); });
            }
        } else {
            h.step(188, [&] { window_.services.boxes.show(texts::ZeroEmailsInFolder, texts::AppTitle, platform::BoxIcon::None); });
            h.step(190, [&] { window_.activity.holdBackDone() = true; });
            rangeRun = true;
        }
        if (rangeRun) {
            h.step(192, [&] { window_.list->RefreshCounts(false); });
            h.step(194, [&] { window_.list->resetKeepChecks(); });
        }
    }
    closeFetchRun(h, 196, [&](bool skipDone) { return closingText(session.get(), skipDone); });
}

void FetchPanel::Stop()
{
    NumberedHandler h(window_.services.boxes, locations::GetAll);
    // The buttons come back at once, but wait until the stopped command has
    // run its closing lines.
    window_.activity.stop();
    h.step(218, [&] { require(window_.session.current)->stop(); });
    h.step(220, [&] { window_.session.current.reset(); });
}

bool FetchPanel::takeRunSession(NumberedHandler& h, int firstLine, std::shared_ptr<clsChilkatIMAP>& session)
{
    // The run keeps its own reference: Stop lets go of the window's.
    session = window_.session.current;
    bool connected = true;
    if (h.test(firstLine, [&] { return !window_.session.current; })) {
        h.step(firstLine + 2, [&] { session = window_.session.current = window_.session.make(); });
        h.step(firstLine + 18, [&] { window_.activity.holdBackDone() = false; });
        h.step(firstLine + 20, [&] { connected = require(session)->ConnectForRun().ok(); });
        if (!connected)
            window_.activity.holdBackDone() = true;
    }
    return connected;
}

void FetchPanel::showActivity(WindowActivity::State state)
{
    // While a run goes, one wide "Stop" covers both places.
    const bool running = state == WindowActivity::State::Fetching;
    PushButton3->setText(running ? texts::StopCaption : texts::GetAllCaption);
    PushButton2->setText(running ? texts::StopCaption : texts::GetSomeCaption);
    setWidthTwips(PushButton3, running ? WideStopWidth : FetchButtonWidth);
    PushButton2->setVisible(!running);
    PushButton2->setEnabled(state != WindowActivity::State::Stopping);
    PushButton3->setEnabled(state != WindowActivity::State::Stopping);
}

bool FetchPanel::startFetchRun(NumberedHandler& h)
{
    if (!window_.activity.start(WindowActivity::State::Fetching))
        return false;
    h.step(112, [&] { window_.pointer.setBusy(); });
    return true;
}

void FetchPanel::closeFetchRun(NumberedHandler& h, int firstLine, const std::function<QString(bool skipDone)>& closing)
{
    h.step(firstLine, [&] { window_.session.current.reset(); });
    h.step(firstLine + 2, [&] { setStatus(texts::ProgressBarIdle); });
    h.step(firstLine + 4, [&] { ProgressBar1->setPosition(0); });
    h.step(firstLine + 6, [&] { window_.pointer.setDefault(); });
    window_.activity.end();
    // Told here, once, after what the run did: a log that cannot be written
    // never stops a run, and a run with log trouble never says a bare "Done.".
    const QString logTrouble = takeErrorLogTrouble();
    h.step(firstLine + 16, [&] {
        QStringList text;
        if (const QString said = closing(window_.activity.holdBackDone()); !said.isEmpty())
            text << said;
        if (!logTrouble.isEmpty())
            text << logTrouble;
        if (!text.isEmpty())
            window_.services.boxes.show(text.join(QStringLiteral("\r\n\r\n")), texts::AppTitle, platform::BoxIcon::None);
    });
}

void FetchPanel::oChilkat_StatusChanged(clsChilkatIMAP* sender, const QString& text)
{
    if (sender != window_.session.current.get())
        return;
    setStatus(text);
    letPendingEventsRun();
}

void FetchPanel::oChilkat_ScrapProgress(clsChilkatIMAP* sender, int percent)
{
    if (sender != window_.session.current.get())
        return;
    ProgressBar1->setMaximum(100);
    ProgressBar1->setPosition(percent);
    showRunPosition(*sender, sender->CurrentLocation);
    letPendingEventsRun();
}

// "Reading mail n of m": n is the message being read or delivered to the
// list, never one the list has already passed. Messages read ahead reach the
// list without a progress report of their own, so delivery says it too.
void FetchPanel::showRunPosition(const clsChilkatIMAP& session, qint64 number)
{
    if (readingAll_ && !readingAll_->folder().isEmpty()) {
        setStatus(texts::ReadingFolderMail.arg(readingAll_->folder()).arg(number).arg(session.MaxRecord));
        return;
    }
    setStatus(texts::ReadingMail + QString::number(number) + texts::Of + QString::number(session.MaxRecord));
}

}  // namespace tallyhive
