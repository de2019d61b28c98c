#include "mainwindow/form1.h"

#include "app/config.h"
#include "app/locations.h"
#include "app/numbered_handler.h"
#include "app/settings_keys.h"
#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "interfaces/error.h"
#include "mail/folder_options.h"
#include "platform/qt/qt_list_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

namespace tallyhive {

void Form1::PushButton1_Click()
{
    if (connecting_) {
        if (signInMethod_ == SignInMethod::Microsoft && signIn().waiting())
            signIn().cancel();
        return;
    }
    NumberedHandler h(services_.boxes, locations::ConnectDisconnect);
    h.step(100, [&] { pointer_->setBusy(); });
    if (h.test(102, [&] { return PushButton1->text() == texts::ConnectCaption; }))
        Connect();
    else
        Disconnect(false);
}

void Form1::Connect()
{
    connecting_ = true;
    const auto done = qScopeGuard([this] { connecting_ = false; });
    NumberedHandler h(services_.boxes, locations::ConnectDisconnect);
    h.step(104, [&] { setStatus(texts::StatusConnecting); });
    if (!h.test(106, [&] { return oChilkat != nullptr; })) {
        if (signInMethod_ == SignInMethod::MicrosoftWithoutClientId) {
            // A password sign-in is bound to fail there: the application to
            // sign in with is asked for, once the window can be seen.
            connectWhenShown_ = loading_;
            if (loading_ || !MicrosoftSetup()) {
                Disconnect(true);
                return;
            }
        }
        // This command's own reference: a handler run while it waits may drop the window's.
        std::shared_ptr<clsChilkatIMAP> session;
        h.step(108, [&] { session = oChilkat = newSession(); });
        bool connected = false;
        h.step(122, [&] {
            if (!session)
                throw AppError(texts::ObjectNotSet);
            connected = signInMethod_ == SignInMethod::Microsoft ? connectWithMicrosoft(*session) : session->Connect();
        });
        if (!connected) {
            Disconnect(true);
            return;
        }
        h.step(126, [&] { session->EnumMailFolders(); });
        h.step(128, [&] { showOtherFolders(foldersBesideOptions(session->MailFolders)); });
        h.step(144, [&] { setStatus(texts::StatusConnected); });
    }
    h.step(146, [&] { PushButton1->setText(texts::DisconnectCaption); });
    h.step(172, [&] { pointer_->setDefault(); });
    h.step(174, [&] { KeepChecks = false; });
}

void Form1::Disconnect(bool afterFailedConnect)
{
    NumberedHandler h(services_.boxes, locations::ConnectDisconnect);
    if (!afterFailedConnect) {
        h.step(148, [&] { setStatus(texts::StatusDisconnecting); });
        if (!h.test(150, [&] { return Check1->checkState() != Qt::Unchecked; })) {
            h.step(152, [&] { Text1->clear(); });
            h.step(154, [&] { Text2->clear(); });
            h.step(156, [&] { saveSetting(settings_keys::User, QString()); });
            h.step(158, [&] { saveSetting(settings_keys::Password, QString()); });
            if (signInMethod_ == SignInMethod::Microsoft)
                signIn().signOut();
        }
        h.step(160, [&] {
            // A run going on ends as on Stop: the user ended it.
            if (oChilkat)
                oChilkat->AbortProcess = true;
            if (imapComponent)
                imapComponent->disconnect();
        });
    }
    h.step(162, [&] { ListView1->removeAllRows(); });
    h.step(164, [&] { RefreshCounts(true); });
    showOnlyFolder(otherFolder());
    h.step(166, [&] { PushButton1->setText(texts::ConnectCaption); });
    h.step(168, [&] { oChilkat.reset(); });
    h.step(170, [&] { setStatus(texts::StatusDisconnected); });
    h.step(172, [&] { pointer_->setDefault(); });
    h.step(174, [&] { KeepChecks = false; });
}

std::shared_ptr<clsChilkatIMAP> Form1::newSession()
{
    auto session = std::make_shared<clsChilkatIMAP>(services_.boxes);
    session->ChilkatIMAPObject = imapComponent;
    session->PORT = services_.server.port;
    session->IMAPServer = services_.server.host;
    session->Username = LoginName();
    session->Password = Text2->text();
    // Events reach the window only while this is still its session.
    clsChilkatIMAP* raw = session.get();
    session->MailExtractListing = [this, raw](EmailRecord&& mail, int uID) {
        oChilkat_MailExtractListing(raw, std::move(mail), uID);
    };
    session->ScrapProgress = [this, raw](int percent) { oChilkat_ScrapProgress(raw, percent); };
    if (signInMethod_ == SignInMethod::Microsoft) {
        // Never the browser here: a fetch run signs in with what is at hand,
        // as the mailbox the connect read.
        const QString account = session->Username;
        session->AccessTokens = [this, account](bool refresh) { return signIn().accessToken(account, refresh); };
        if (account.compare(readMailboxFor_, Qt::CaseInsensitive) == 0)
            session->Username = readMailbox_;
        session->SignInRefused = [this] { oChilkat_SignInRefused(); };
        session->MailboxNotServed = [this, raw] { oChilkat_MailboxNotServed(raw->Username); };
    }
    session->StatusChanged = [this, raw](const QString& text) { oChilkat_StatusChanged(raw, text); };
    return session;
}

QString Form1::LoginName() const
{
    const QString suffix = Combo1->currentText();
    return Text1->text() + (suffix.startsWith(u'@') ? suffix : QString());
}

void Form1::setCheckValue(QCheckBox* box, int value)
{
    switch (value) {
    case 0:
        box->setCheckState(Qt::Unchecked);
        break;
    case 1:
        box->setCheckState(Qt::Checked);
        break;
    case 2:
        box->setCheckState(Qt::PartiallyChecked);  // the dimmed third state
        break;
    default:
        throw AppError(QStringLiteral("Invalid property value"));
    }
}

int Form1::checkValue(const QCheckBox* box) const
{
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

void Form1::Check1_Click()
{
    const int value = checkValue(Check1);
    saveSetting(settings_keys::StayConnected, value == 1 ? QStringLiteral("1") : QStringLiteral("0"));
    // Mail is kept between runs only for a user who chose to be remembered.
    if (services_.messageStore) {
        services_.messageStore->setInUse(value != 0);
        if (value == 0) {
            services_.messageStore->forget(LoginName(), services_.server.host);
            if (!readMailbox_.isEmpty())
                services_.messageStore->forget(readMailbox_, services_.server.host);
        }
    }
    if (value != 0) {
        Check2->setEnabled(true);
        // Remembering starts with the password already typed.
        if (!Text2->text().isEmpty())
            saveSetting(settings_keys::Password, Text2->text());
    } else {
        setCheckValue(Check2, 0);
        Check2->setEnabled(false);
        Text1->clear();
        Text2->clear();
        // Emptying an already empty box runs no change reaction: the stored
        // password must go all the same.
        saveSetting(settings_keys::Password, QString());
    }
    if (signInMethod_ == SignInMethod::Microsoft)
        signIn().setRemembered(value != 0);
}

void Form1::Check2_Click()
{
    saveSetting(settings_keys::AutoConnect, checkValue(Check2) == 1 ? QStringLiteral("1") : QStringLiteral("0"));
}

void Form1::Combo1_Click() { saveSetting(settings_keys::Combo1, QString::number(Combo1->currentIndex())); }

void Form1::Text1_Change() { saveSetting(settings_keys::User, Text1->text()); }

void Form1::Text2_Change()
{
    // The password is kept only for a user who asked to be remembered.
    if (Check1->checkState() != Qt::Unchecked)
        saveSetting(settings_keys::Password, Text2->text());
}

void Form1::PushButton11_Click()
{
    NumberedHandler h(services_.boxes, locations::Help);
    h.step(100, [&] {
        services_.boxes.show(texts::HelpText + config::downloadPage() + QString(QStringLiteral("\r\n")).repeated(12),
                             texts::AppTitle, platform::BoxIcon::None);
    });
}

}  // namespace tallyhive
