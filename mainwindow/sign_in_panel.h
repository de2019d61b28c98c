#pragma once

#include "app/sign_in_method.h"
#include "interfaces/browser_sign_in.h"
#include "mail/imap_session.h"
#include "mainwindow/window_parts.h"

#include <QObject>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tallyhive {

class NumberedHandler;

// The "Login" panel: the Live ID and password, "Remember me" and
// "Autoconnect", the connect button and Help; and how a session signs in,
// with a password or with a Microsoft account through the browser.
class SignInPanel : public QObject {
    Q_OBJECT
public:
    SignInPanel(QWidget* face, WindowParts& window, QObject* parent);

    // The connect button's caption.
    void showConnected(bool connected);
    // Text1 followed by the selected suffix when that begins with "@".
    QString LoginName() const;
    SignInMethod method() const { return signInMethod_; }
    // The "Microsoft sign-in" dialog: the application to sign in with, saved
    // in the settings. True when one was saved that can be used.
    bool MicrosoftSetup();
    void chooseMicrosoftApplication();

    // The start-up steps: the remembered sign-in, "Autoconnect", the account suffixes.
    void restoreRemembered(NumberedHandler& h);
    void restoreAutoConnect(NumberedHandler& h);
    void addAccountSuffixes(NumberedHandler& h);
    bool autoConnects() const;

    // A new session signs in as the panel says.
    void prepare(clsChilkatIMAP& session);
    bool connect(clsChilkatIMAP& session);
    // A second click on "1. Connect" while it runs.
    void cancelBrowserWait();
    // On Disconnect: what "Remember me" does not keep goes.
    void forgetUnlessRemembered(NumberedHandler& h);

    void PushButton11_Click();  // "Help"

signals:
    void connectClicked();

private:
    bool connectWithMicrosoft(clsChilkatIMAP& session);
    // The last connect's answer; a mailbox the server would not serve is told here.
    platform::MailResult connectAsMailbox(clsChilkatIMAP& session, const QString& account, const platform::SignInResult& renewal);
    // The session's tokens for account; each request's result also goes to
    // renewal when one is given.
    platform::AccessTokenSource tokensFor(const QString& account, std::shared_ptr<platform::SignInResult> renewal = {});
    bool signInThroughBrowser(const QString& account);
    // True, and a box said so, when the sign-in service itself failed.
    bool signInServiceFailed(const platform::SignInResult& result);
    // True when the user chose to set up the application again, and did.
    bool showSignInOutcome(platform::SignInResult result);
    void applySignInMethod();
    platform::BrowserSignIn& signIn() const;
    void addComboEntry(const QString& entry);
    void Check1_Click();
    void Check2_Click();
    void Combo1_Click();
    void Text1_Change();
    void Text2_Change();
    void setCheckValue(QCheckBox* box, int value);
    int checkValue(const QCheckBox* box) const;
    void saveSetting(const QString& key, const QString& value);

    WindowParts& window_;
    QGroupBox* Frame5;
    std::array<QLabel*, 2> lblLabels;
    QLineEdit* Text1;
    QLineEdit* Text2;
    QComboBox* Combo1;
    QCheckBox* Check1;
    QCheckBox* Check2;
    QPushButton* PushButton1;
    QPushButton* PushButton11;
    // The next browser sign-in lets the user choose the account.
    bool chooseAccountNext_ = false;
    bool cannotRememberShown_ = false;
    // The mailbox last said to differ from the Live ID typed; said once.
    QString announcedMailbox_;
    // The mailbox the last connect read, and the Live ID it was read for:
    // fetch runs sign in as the same.
    QString readMailbox_;
    QString readMailboxFor_;
    SignInMethod signInMethod_ = SignInMethod::Password;
    platform::MicrosoftApplication microsoftApplication_;
};

}  // namespace tallyhive
