#include "mainwindow/form1.h"

#include "app/error_log.h"
#include "app/locations.h"
#include "app/numbered_handler.h"
#include "app/pending_events.h"
#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "app/window/window_prep.h"
#include "interfaces/error.h"
#include "mainwindow/form2.h"
#include "platform/qt/qt_list_view.h"

#include "mainwindow/status_progress_bar.h"

#include <QPushButton>

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

void Form1::PushButton3_Click()
{
    NumberedHandler h(services_.boxes, locations::GetAll);
    if (h.test(100, [&] { return !isConnected(); })) {
        h.step(102, [&] { services_.boxes.show(texts::ConnectFirst, texts::AppTitle, platform::BoxIcon::None); });
        return;
    }
    if (h.test(104, [&] { return PushButton3->text() == texts::StopCaption; })) {
        Stop();
        return;
    }
    // A stopped run still has its closing lines to run; a new one must not
    // start inside it.
    if (fetchRunning_)
        return;
    startFetchRun(h, PushButton3);
    h.step(120, [&] { ListView1->removeAllRows(); });
    h.step(122, [&] { ListView1->setSortingEnabled(false); });
    h.step(124, [&] { RefreshCounts(true); });
    h.step(126, [&] { KeepChecks = false; });

    std::shared_ptr<clsChilkatIMAP> session;
    if (takeRunSession(h, 128, session)) {
        QString folder;
        h.step(152, [&] { folder = SelectedFolderName(); });
        if (h.test(172, [&] { return session != nullptr; })) {
            h.step(174, [&] { session->CurrentLocation = 1; });
            h.step(176, [&] { session->MaxRecord = session->GetTotalMessage(folder); });
        }
        if (h.test(178, [&] { return require(session)->MaxRecord > 0; })) {
            h.step(182, [&] { require(session)->StartMailExtraction(folder); });
        } else {
            h.step(184, [&] { services_.boxes.show(texts::NoEmailsInFolder, texts::AppTitle, platform::BoxIcon::None); });
            h.step(186, [&] { SkipDoneMessage = true; });
        }
        h.step(188, [&] { RefreshCounts(false); });
    }
    closeFetchRun(h, 190, PushButton3, session.get());
}

void Form1::PushButton2_Click()
{
    NumberedHandler h(services_.boxes, locations::GetSome);
    if (h.test(100, [&] { return !isConnected(); })) {
        h.step(102, [&] { services_.boxes.show(texts::ConnectFirst, texts::AppTitle, platform::BoxIcon::None); });
        return;
    }
    if (fetchRunning_)
        return;
    startFetchRun(h, PushButton2);

    std::shared_ptr<clsChilkatIMAP> session;
    if (takeRunSession(h, 120, session)) {
        QString folder;
        h.step(144, [&] { folder = SelectedFolderName(); });
        Form2 dialog(services_.boxes, RangeAccepted, SkipDoneMessage, this);
        if (h.test(164, [&] { return session != nullptr; })) {
            h.step(166, [&] { dialog.ChilkatIMAP = session; });
            h.step(168, [&] { dialog.MaxMessage = session->GetTotalMessage(folder); });
        }
        bool rangeRun = false;
        if (h.test(170, [&] { return require(session)->GetTotalMessage(folder) > 0; })) {
            h.step(172, [&] {
                RangeAccepted = false;
                dialog.Form_Load();
                dialog.exec();
            });
            rangeRun = !h.test(174, [&] { return !RangeAccepted; });
            if (rangeRun) {
                h.step(176, [&] { ListView1->removeAllRows(); });
                h.step(178, [&] { ListView1->setSortingEnabled(false); });
                h.step(180, [&] { RefreshCounts(true); });
                h.step(182, [&] { SkipDoneMessage = false; });
                h.step(186, [&] { require(session)->StartMailExtraction(folder); });
            }
        } else {
            h.step(188, [&] { services_.boxes.show(texts::ZeroEmailsInFolder, texts::AppTitle, platform::BoxIcon::None); });
            h.step(190, [&] { SkipDoneMessage = true; });
            rangeRun = true;
        }
        if (rangeRun) {
            h.step(192, [&] { RefreshCounts(false); });
            h.step(194, [&] { KeepChecks = false; });
        }
    }
    closeFetchRun(h, 196, PushButton2, session.get());
}

void Form1::Stop()
{
    NumberedHandler h(services_.boxes, locations::GetAll);
    h.step(208, [&] { PushButton3->setText(texts::GetAllCaption); });
    h.step(210, [&] { PushButton2->setText(texts::GetSomeCaption); });
    h.step(212, [&] { setWidthTwips(PushButton3, FetchButtonWidth); });
    h.step(214, [&] { PushButton2->show(); });
    // Until the stopped command has run its closing lines the buttons wait.
    PushButton2->setEnabled(false);
    PushButton3->setEnabled(false);
    h.step(218, [&] { require(oChilkat)->AbortProcess = true; });
    h.step(220, [&] { oChilkat.reset(); });
}

bool Form1::takeRunSession(NumberedHandler& h, int firstLine, std::shared_ptr<clsChilkatIMAP>& session)
{
    // The run keeps its own reference: Stop lets go of the window's.
    session = oChilkat;
    bool connected = true;
    if (h.test(firstLine, [&] { return !oChilkat; })) {
        h.step(firstLine + 2, [&] { session = oChilkat = newSession(); });
        h.step(firstLine + 18, [&] { SkipDoneMessage = false; });
        h.step(firstLine + 20, [&] { connected = require(session)->Connect(); });
        if (!connected)
            SkipDoneMessage = true;
    }
    return connected;
}

QPushButton* Form1::otherFetchButton(QPushButton* button) const
{
    return button == PushButton3 ? PushButton2 : PushButton3;
}

QString Form1::fetchCaption(QPushButton* button) const
{
    return button == PushButton3 ? texts::GetAllCaption : texts::GetSomeCaption;
}

void Form1::startFetchRun(NumberedHandler& h, QPushButton* startedBy)
{
    fetchRunning_ = true;
    h.step(106, [&] { otherFetchButton(startedBy)->setText(texts::StopCaption); });
    h.step(108, [&] { setWidthTwips(PushButton3, WideStopWidth); });
    h.step(110, [&] { PushButton2->hide(); });
    h.step(112, [&] { pointer_->setBusy(); });
    h.step(114, [&] { SavedCaption = startedBy->text(); });
    h.step(116, [&] { startedBy->setText(texts::StopCaption); });
}

void Form1::closeFetchRun(NumberedHandler& h, int firstLine, QPushButton* startedBy, const clsChilkatIMAP* run)
{
    QPushButton* other = otherFetchButton(startedBy);
    h.step(firstLine, [&] { oChilkat.reset(); });
    h.step(firstLine + 2, [&] { setStatus(texts::ProgressBarIdle); });
    h.step(firstLine + 4, [&] { ProgressBar1->setPosition(0); });
    h.step(firstLine + 6, [&] { pointer_->setDefault(); });
    h.step(firstLine + 8, [&] { startedBy->setText(SavedCaption); });
    h.step(firstLine + 10, [&] { other->setText(fetchCaption(other)); });
    h.step(firstLine + 12, [&] { setWidthTwips(PushButton3, FetchButtonWidth); });
    h.step(firstLine + 14, [&] { PushButton2->show(); });
    fetchRunning_ = false;
    PushButton2->setEnabled(true);
    PushButton3->setEnabled(true);
    // Told here, once, after what the run did: a log that cannot be written
    // never stops a run, and a run with log trouble never says a bare "Done.".
    const QString logTrouble = takeErrorLogTrouble();
    h.step(firstLine + 16, [&] {
        QStringList text;
        if (const QString closing = closingText(run, SkipDoneMessage); !closing.isEmpty())
            text << closing;
        if (!logTrouble.isEmpty())
            text << logTrouble;
        if (!text.isEmpty())
            services_.boxes.show(text.join(QStringLiteral("\r\n\r\n")), texts::AppTitle, platform::BoxIcon::None);
    });
}

void Form1::oChilkat_StatusChanged(clsChilkatIMAP* sender, const QString& text)
{
    if (sender != oChilkat.get())
        return;
    setStatus(text);
    letPendingEventsRun();
}

void Form1::oChilkat_ScrapProgress(clsChilkatIMAP* sender, int percent)
{
    if (sender != oChilkat.get())
        return;
    ProgressBar1->setMaximum(100);
    ProgressBar1->setPosition(percent);
    showRunPosition(*sender, sender->CurrentLocation);
    letPendingEventsRun();
}

// "Reading mail n of m": n is the message being read or delivered to the
// list, never one the list has already passed. Messages read ahead reach the
// list without a progress report of their own, so delivery says it too.
void Form1::showRunPosition(const clsChilkatIMAP& session, qint64 number)
{
    setStatus(texts::ReadingMail + QString::number(number) + texts::Of + QString::number(session.MaxRecord));
}

}  // namespace tallyhive
