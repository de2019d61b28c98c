#include "mainwindow/form1.h"

#include "app/window/window_pointer.h"
#include "app/window/window_prep.h"
#include "mainwindow/check_buttons.h"
#include "mainwindow/email_list.h"
#include "mainwindow/export_button.h"
#include "mainwindow/fetch_panel.h"
#include "mainwindow/folder_choice.h"
#include "mainwindow/sign_in_panel.h"
#include "mainwindow/status_progress_bar.h"
#include "platform/qt/qt_list_view.h"

#include <QCloseEvent>
#include <QTimer>

#include <cstdlib>

namespace tallyhive {

Form1::Form1(Form1Services services, QWidget* parent) : QMainWindow(parent), services_(std::move(services))
{
    auto* face = new QWidget(this);
    setCentralWidget(face);
    setFixedSize(twipsToPixels(8040), twipsToPixels(9300));
    pointer_ = new WindowPointer(*this);

    // The parts reach each other only through what is given here; the
    // status line and the sign-in note belong to parts made after the panel.
    signIn_ = new SignInPanel(face,
                              SignInPanel::Window{services_, activity_, *pointer_,
                                                  [this](const QString& text) { setStatus(text); },
                                                  [this](bool shown) { list_->showSignInHelp(shown); }},
                              this);
    folders_ = new FolderChoice(face, services_.settings, this);
    list_ = new EmailList(face, this);
    fetch_ = new FetchPanel(face, FetchPanel::Window{services_, activity_, *pointer_, session_, *folders_, *list_}, this);
    // The list is made before the run that fills it, but is reached after it.
    QWidget* before = findChild<QWidget*>(QStringLiteral("Combo2"));
    for (const char* name : {"txtSearch", "PushButton3", "PushButton2"}) {
        QWidget* next = findChild<QWidget*>(QString::fromLatin1(name));
        setTabOrder(before, next);
        before = next;
    }
    checks_ = new CheckButtons(face, *list_, services_.boxes, this);
    export_ = new ExportButton(
        face, ExportButton::Window{*list_, fetch_->progress(), activity_, *pointer_, services_.spreadsheets, services_.boxes},
        this);

    for (QWidget* control : findChildren<QWidget*>())
        pointer_->watch(control);
    connect(signIn_, &SignInPanel::connectClicked, this, &Form1::PushButton1_Click);
    session_.make = [this] { return newSession(); };
    activity_.onChange([this] { showActivity(); });
}

void Form1::showActivity()
{
    signIn_->showConnected(activity_.connected());
    fetch_->showActivity(activity_.state());
}

Form1::~Form1() = default;

void Form1::PushButton2_Click() { fetch_->PushButton2_Click(); }
void Form1::PushButton3_Click() { fetch_->PushButton3_Click(); }
void Form1::PushButton4_Click() { export_->PushButton4_Click(); }
void Form1::PushButton5_Click() { checks_->PushButton5_Click(); }
void Form1::PushButton7_Click() { checks_->PushButton7_Click(); }
void Form1::PushButton11_Click() { signIn_->PushButton11_Click(); }

bool Form1::isConnected() const { return activity_.connected(); }

QString Form1::SelectedFolderName() const { return folders_->SelectedFolderName(); }

QString Form1::LoginName() const { return signIn_->LoginName(); }

bool Form1::MicrosoftSetup() { return signIn_->MicrosoftSetup(); }

QString Form1::statusText() const { return fetch_->progress().status(); }

platform::QtListView& Form1::listView() const { return list_->view(); }

void Form1::setStatus(const QString& text) { fetch_->setStatus(text); }

void Form1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!activity_.takeConnectWhenShown())
        return;
    // Once the window is on screen, with its button to cancel from.
    QTimer::singleShot(0, this, [this] {
        if (!isConnected())
            PushButton1_Click();
    });
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Closing the window ends the program at once: no logout, no further
    // handler, nothing written (every setting was saved as it changed).
    event->accept();
    std::_Exit(0);
}

}  // namespace tallyhive
