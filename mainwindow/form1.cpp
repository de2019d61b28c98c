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

#include <QCloseEvent>
#include <QTimer>

#include <cstdlib>

namespace tallyhive {

Form1::Form1(Form1Services services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)), pointer_(new WindowPointer(*this)),
      parts_{services_, activity_, *pointer_, session_}
{
    auto* face = new QWidget(this);
    setCentralWidget(face);
    setFixedSize(twipsToPixels(8040), twipsToPixels(9300));

    // Made in the order of the window's tab stops, which follows from it.
    parts_.signIn = new SignInPanel(face, parts_, this);
    parts_.folders = new FolderChoice(face, parts_, this);
    parts_.fetch = new FetchPanel(face, parts_, this);
    parts_.list = new EmailList(face, this);
    parts_.checks = new CheckButtons(face, parts_, this);
    parts_.exporter = new ExportButton(face, parts_, this);

    for (QWidget* control : findChildren<QWidget*>())
        pointer_->watch(control);
    connect(parts_.signIn, &SignInPanel::connectClicked, this, &Form1::PushButton1_Click);
    session_.make = [this] { return newSession(); };
    activity_.onChange([this] { showActivity(); });
}

void Form1::showActivity()
{
    parts_.signIn->showConnected(activity_.connected());
    parts_.fetch->showActivity(activity_.state());
}

Form1::~Form1() = default;

void Form1::PushButton2_Click() { parts_.fetch->PushButton2_Click(); }
void Form1::PushButton3_Click() { parts_.fetch->PushButton3_Click(); }
void Form1::PushButton4_Click() { parts_.exporter->PushButton4_Click(); }
void Form1::PushButton5_Click() { parts_.checks->PushButton5_Click(); }
void Form1::PushButton7_Click() { parts_.checks->PushButton7_Click(); }
void Form1::PushButton11_Click() { parts_.signIn->PushButton11_Click(); }

bool Form1::isConnected() const { return activity_.connected(); }

QString Form1::SelectedFolderName() const { return parts_.folders->SelectedFolderName(); }

QString Form1::LoginName() const { return parts_.signIn->LoginName(); }

bool Form1::MicrosoftSetup() { return parts_.signIn->MicrosoftSetup(); }

QString Form1::statusText() const { return parts_.fetch->progress().status(); }

platform::ListView& Form1::listView() const { return parts_.list->view(); }

void Form1::setStatus(const QString& text) { parts_.fetch->setStatus(text); }

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
