#include "mainwindow/sign_in_panel.h"

#include "app/locations.h"
#include "app/numbered_handler.h"
#include "app/numbers.h"
#include "app/settings_keys.h"
#include "app/texts.h"
#include "app/window/window_prep.h"
#include "interfaces/error.h"
#include "mainwindow/email_list.h"
#include "mainwindow/fetch_panel.h"
#include "mainwindow/one_click.h"
#include "mainwindow/window_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

namespace tallyhive {
namespace {

// Focus on a sign-in box selects its whole text, so typing replaces it.
class SelectAllOnFocus : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn) {
            auto* box = static_cast<QLineEdit*>(watched);
            QTimer::singleShot(0, box, [box] { box->setSelection(0, static_cast<int>(box->text().size())); });
        }
        return QObject::eventFilter(watched, event);
    }
};

template <class Control>
Control* named(Control* control, const char* name)
{
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

}  // namespace

SignInPanel::SignInPanel(QWidget* face, WindowParts& window, QObject* parent) : QObject(parent), window_(window)
{
    Frame5 = named(new QGroupBox(QStringLiteral("Login"), face), "Frame5");
    Frame5->setGeometry(twipsRect(120, 60, 7800, 1560));
    lblLabels[0] = named(new QLabel(QStringLiteral("Live ID:"), Frame5), "lblLabels");
    lblLabels[0]->setGeometry(twipsRect(240, 390, 960, 255));
    Text1 = named(new QLineEdit(Frame5), "Text1");
    Text1->setGeometry(twipsRect(1200, 330, 2280, 345));
    Combo1 = named(new QComboBox(Frame5), "Combo1");
    Combo1->setGeometry(twipsRect(3540, 330, 1860, 345));
    lblLabels[1] = named(new QLabel(QStringLiteral("Password:"), Frame5), "lblLabels");
    lblLabels[1]->setGeometry(twipsRect(240, 810, 960, 255));
    Text2 = named(new QLineEdit(Frame5), "Text2");
    Text2->setEchoMode(QLineEdit::Password);
    Text2->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // shown as "*"
    Text2->setGeometry(twipsRect(1200, 750, 2280, 345));
    Check1 = named(new QCheckBox(QStringLiteral("Remember me"), Frame5), "Check1");
    Check1->setGeometry(twipsRect(1200, 1170, 1740, 285));
    Check2 = named(new QCheckBox(QStringLiteral("Autoconnect when software loads"), Frame5), "Check2");
    Check2->setGeometry(twipsRect(2940, 1170, 3600, 285));
    PushButton1 = named(new QPushButton(texts::ConnectCaption, Frame5), "PushButton1");
    PushButton1->setGeometry(twipsRect(5520, 300, 2160, 405));
    PushButton11 = named(new QPushButton(QStringLiteral("Help"), Frame5), "PushButton11");
    PushButton11->setGeometry(twipsRect(5520, 750, 2160, 405));

    auto* selectAll = new SelectAllOnFocus(this);
    Text1->installEventFilter(selectAll);
    Text2->installEventFilter(selectAll);
    QWidget::setTabOrder(Text1, Text2);

    takeDoubleClickAsOne(PushButton1);
    QObject::connect(PushButton1, &QPushButton::clicked, this, &SignInPanel::connectClicked);
    QObject::connect(PushButton11, &QPushButton::clicked, this, &SignInPanel::PushButton11_Click);
    QObject::connect(Check1, &QCheckBox::stateChanged, this, &SignInPanel::Check1_Click);
    QObject::connect(Check2, &QCheckBox::stateChanged, this, &SignInPanel::Check2_Click);
    QObject::connect(Combo1, &QComboBox::currentIndexChanged, this, &SignInPanel::Combo1_Click);
    QObject::connect(Text1, &QLineEdit::textChanged, this, &SignInPanel::Text1_Change);
    QObject::connect(Text2, &QLineEdit::textChanged, this, &SignInPanel::Text2_Change);
}

void SignInPanel::showConnected(bool connected)
{
    PushButton1->setText(connected ? texts::DisconnectCaption : texts::ConnectCaption);
}

void SignInPanel::saveSetting(const QString& key, const QString& value)
{
    saveWindowSetting(window_.services.settings, key, value);
}

void SignInPanel::restoreRemembered(NumberedHandler& h)
{
    using namespace settings_keys;
    const auto setting = [this](const QString& key) { return readWindowSetting(window_.services.settings, key); };
    if (h.test(160, [&] {
            return readInteger(readWindowSetting(window_.services.settings, StayConnected, QStringLiteral("0"))) != 0;
        })) {
        h.step(162, [&] { setCheckValue(Check1, 1); });
        h.step(164, [&] { Text1->setText(setting(User)); });
        h.step(166, [&] { Text2->setText(setting(Password)); });
    } else {
        h.step(168, [&] {
            setCheckValue(Check1, 0);
            Text1->clear();
            Text2->clear();
            // A password is kept only while "Remember me" is ticked; one left
            // behind from an earlier run goes now.
            if (!setting(Password).isEmpty())
                saveSetting(Password, QString());
            // So is mail kept by a run that could not forget it.
            if (platform::MessageStore* store = window_.services.messageStore)
                store->forget();
        });
    }
    applySignInMethod();
}

void SignInPanel::restoreAutoConnect(NumberedHandler& h)
{
    if (h.test(178, [&] { return checkValue(Check1) != 0; }))
        h.step(180, [&] { Check2->setEnabled(true); });
    else
        h.step(182, [&] { Check2->setEnabled(false); });
    h.step(184, [&] {
        setCheckValue(Check2, readInteger(readWindowSetting(window_.services.settings, settings_keys::AutoConnect,
                                                            QStringLiteral("0"))));
    });
}

void SignInPanel::addAccountSuffixes(NumberedHandler& h)
{
    h.step(333, [&] { addComboEntry(texts::LiveIdEntry); });
    const auto& domains = window_.services.deployment.mailDomains;
    h.step(444, [&] { addComboEntry(u'@' + domains[0]); });
    h.step(555, [&] { addComboEntry(u'@' + domains[1]); });
    h.step(666, [&] { addComboEntry(u'@' + domains[2]); });
    h.step(777, [&] {
        const int index = readInteger(readWindowSetting(window_.services.settings, settings_keys::Combo1, QStringLiteral("0")));
        if (index < -1 || index >= Combo1->count())
            throw AppError(QStringLiteral("Invalid property value"));
        Combo1->setCurrentIndex(index);
    });
}

bool SignInPanel::autoConnects() const { return checkValue(Check2) == 1; }

void SignInPanel::addComboEntry(const QString& entry)
{
    // Adding an entry selects nothing and saves nothing: the stored choice is
    // restored only after all entries are in.
    const QSignalBlocker quiet(Combo1);
    const int selected = Combo1->currentIndex();
    Combo1->addItem(entry);
    Combo1->setCurrentIndex(selected);
}

void SignInPanel::prepare(clsChilkatIMAP& session)
{
    session.Username = LoginName();
    session.Password = Text2->text();
    if (signInMethod_ == SignInMethod::Microsoft) {
        // Never the browser here: a fetch run signs in with what is at hand,
        // as the mailbox the connect read.
        const QString account = session.Username;
        session.AccessTokens = tokensFor(account);
        if (account.compare(readMailboxFor_, Qt::CaseInsensitive) == 0)
            session.Username = readMailbox_;
    }
}

bool SignInPanel::connect(clsChilkatIMAP& session)
{
    return signInMethod_ == SignInMethod::Microsoft ? connectWithMicrosoft(session) : session.Connect().ok();
}

void SignInPanel::cancelBrowserWait()
{
    if (signInMethod_ == SignInMethod::Microsoft && signIn().waiting())
        signIn().cancel();
}

void SignInPanel::forgetUnlessRemembered(NumberedHandler& h)
{
    if (!h.test(150, [&] { return Check1->checkState() != Qt::Unchecked; })) {
        h.step(152, [&] { Text1->clear(); });
        h.step(154, [&] { Text2->clear(); });
        h.step(156, [&] { saveSetting(settings_keys::User, QString()); });
        h.step(158, [&] { saveSetting(settings_keys::Password, QString()); });
        if (signInMethod_ == SignInMethod::Microsoft)
            signIn().signOut();
    }
}

QString SignInPanel::LoginName() const
{
    const QString suffix = Combo1->currentText();
    return Text1->text() + (suffix.startsWith(u'@') ? suffix : QString());
}

void SignInPanel::setCheckValue(QCheckBox* box, int value)
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

int SignInPanel::checkValue(const QCheckBox* box) const
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

void SignInPanel::Check1_Click()
{
    const int value = checkValue(Check1);
    saveSetting(settings_keys::StayConnected, value == 1 ? QStringLiteral("1") : QStringLiteral("0"));
    // Mail is kept between runs only for a user who chose to be remembered.
    if (platform::MessageStore* store = window_.services.messageStore) {
        store->setInUse(value != 0);
        if (value == 0)
            store->forget();
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

void SignInPanel::Check2_Click()
{
    saveSetting(settings_keys::AutoConnect, checkValue(Check2) == 1 ? QStringLiteral("1") : QStringLiteral("0"));
}

void SignInPanel::Combo1_Click() { saveSetting(settings_keys::Combo1, QString::number(Combo1->currentIndex())); }

void SignInPanel::Text1_Change() { saveSetting(settings_keys::User, Text1->text()); }

void SignInPanel::Text2_Change()
{
    // The password is kept only for a user who asked to be remembered.
    if (Check1->checkState() != Qt::Unchecked)
        saveSetting(settings_keys::Password, Text2->text());
}

void SignInPanel::PushButton11_Click()
{
    NumberedHandler h(window_.services.boxes, locations::Help);
    h.step(100, [&] {
        window_.services.boxes.show(texts::HelpText + window_.services.deployment.downloadPage + QString(QStringLiteral("\r\n")).repeated(12),
                                    texts::AppTitle, platform::BoxIcon::None);
    });
}

}  // namespace tallyhive
