#include "mainwindow/form1.h"

#include "app/locations.h"
#include "app/numbered_handler.h"
#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "interfaces/error.h"
#include "mail/folder_options.h"
#include "mainwindow/email_list.h"
#include "mainwindow/fetch_panel.h"
#include "mainwindow/folder_choice.h"
#include "mainwindow/sign_in_panel.h"

#include <QScopeGuard>

namespace tallyhive {

void Form1::PushButton1_Click()
{
    // The connect command never runs inside itself: a click on "1. Connect"
    // while it runs cancels a sign-in waiting for the browser, and does
    // nothing otherwise.
    if (activity_.connecting()) {
        parts_.signIn->cancelBrowserWait();
        return;
    }
    NumberedHandler h(services_.boxes, locations::ConnectDisconnect);
    h.step(100, [&] { pointer_->setBusy(); });
    if (h.test(102, [&] { return !activity_.connected(); }))
        Connect();
    else
        Disconnect(false);
}

void Form1::Connect()
{
    if (!activity_.start(WindowActivity::State::Connecting))
        return;
    const auto done = qScopeGuard([this] { activity_.end(); });
    NumberedHandler h(services_.boxes, locations::ConnectDisconnect);
    h.step(104, [&] { setStatus(texts::StatusConnecting); });
    if (!h.test(106, [&] { return session_.current != nullptr; })) {
        if (parts_.signIn->method() == SignInMethod::MicrosoftWithoutClientId) {
            // A password sign-in is bound to fail there: the application to
            // sign in with is asked for, once the window can be seen.
            activity_.connectWhenShown(activity_.unseen());
            if (activity_.unseen() || !MicrosoftSetup()) {
                Disconnect(true);
                return;
            }
        }
        // This command's own reference: a handler run while it waits may drop the window's.
        std::shared_ptr<clsChilkatIMAP> session;
        h.step(108, [&] { session = session_.current = newSession(); });
        bool connected = false;
        h.step(122, [&] {
            if (!session)
                throw AppError(texts::ObjectNotSet);
            connected = parts_.signIn->connect(*session);
        });
        if (!connected) {
            Disconnect(true);
            return;
        }
        h.step(126, [&] { session->EnumMailFolders(); });
        h.step(128, [&] {
            parts_.folders->showOtherFolders(foldersBesideOptions(session->MailFolders), optionsServed(session->MailFolders));
        });
        h.step(144, [&] { setStatus(texts::StatusConnected); });
    }
    h.step(146, [&] { activity_.setConnected(true); });
    h.step(172, [&] { pointer_->setDefault(); });
    h.step(174, [&] { parts_.list->resetKeepChecks(); });
}

void Form1::Disconnect(bool afterFailedConnect)
{
    NumberedHandler h(services_.boxes, locations::ConnectDisconnect);
    if (!afterFailedConnect) {
        h.step(148, [&] { setStatus(texts::StatusDisconnecting); });
        parts_.signIn->forgetUnlessRemembered(h);
        h.step(160, [&] {
            // A run going on ends as on Stop: the user ended it.
            if (session_.current)
                session_.current->stop();
            if (session_.component)
                session_.component->disconnect();
        });
    }
    h.step(162, [&] { parts_.list->view().removeAllRows(); });
    h.step(164, [&] { parts_.list->RefreshCounts(true); });
    parts_.folders->showOnlyFolder(parts_.folders->otherFolder());
    h.step(166, [&] { activity_.setConnected(false); });
    h.step(168, [&] { session_.current.reset(); });
    h.step(170, [&] { setStatus(texts::StatusDisconnected); });
    h.step(172, [&] { pointer_->setDefault(); });
    h.step(174, [&] { parts_.list->resetKeepChecks(); });
}

std::shared_ptr<clsChilkatIMAP> Form1::newSession()
{
    auto session = std::make_shared<clsChilkatIMAP>(services_.boxes);
    session->ChilkatIMAPObject = session_.component;
    session->PORT = services_.server.port;
    session->IMAPServer = services_.server.host;
    parts_.signIn->prepare(*session);
    // Events reach the window only while this is still its session.
    clsChilkatIMAP* raw = session.get();
    session->MailExtractListing = [this, raw](EmailRecord&& mail, int uID) {
        parts_.fetch->oChilkat_MailExtractListing(raw, std::move(mail), uID);
    };
    session->ScrapProgress = [this, raw](int percent) { parts_.fetch->oChilkat_ScrapProgress(raw, percent); };
    session->StatusChanged = [this, raw](const QString& text) { parts_.fetch->oChilkat_StatusChanged(raw, text); };
    return session;
}

}  // namespace tallyhive
