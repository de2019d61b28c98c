#pragma once

#include "mainwindow/window_parts.h"

#include <QMainWindow>

#include <memory>

namespace tallyhive {

namespace platform {
class ListView;
}

// The main window: it lays out its parts (the sign-in panel, the folder
// choice, the fetch commands, the email list with its counts, the check
// commands and the export), wires them together, and runs what spans them:
// the start-up sequence, connect and disconnect.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(Form1Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up sequence; runs while the window is still hidden.
    void Form_Load();

    // Commands, as the buttons run them.
    void PushButton1_Click();   // "1. Connect" / "Disconnect"
    void PushButton2_Click();   // "2b. Get Some Emails", or "Stop" while a run goes
    void PushButton3_Click();   // "2a. Get All Emails", or "Stop" while a run goes
    void PushButton4_Click();   // "3. Send To Excel"
    void PushButton5_Click();   // "Check All"
    void PushButton7_Click();   // "Clear List"
    void PushButton11_Click();  // "Help"

    // The connected-state test other commands rely on.
    bool isConnected() const;
    // The folder name of the first selected option (for "Other:", the
    // folder its drop-down shows); empty when none is.
    QString SelectedFolderName() const;
    // Text1 followed by the selected suffix when that begins with "@".
    QString LoginName() const;
    // The "Microsoft sign-in" dialog: the application to sign in with, saved
    // in the settings. True when one was saved that can be used.
    bool MicrosoftSetup();

    // The status line inside the progress bar.
    QString statusText() const;
    WindowSession& session() { return session_; }
    // The email list, rows and marks.
    platform::ListView& listView() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Connect();
    void Disconnect(bool afterFailedConnect);
    std::shared_ptr<clsChilkatIMAP> newSession();
    void setStatus(const QString& text);
    // Captions and enabled buttons, as the window's state says.
    void showActivity();

    // Start-up pieces.
    void ApplySkin();
    void VisitHomePageOccasionally();

    Form1Services services_;
    WindowPointer* pointer_;
    WindowActivity activity_;
    WindowSession session_;
    WindowParts parts_;
};

}  // namespace tallyhive
