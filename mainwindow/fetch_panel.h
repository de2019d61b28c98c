#pragma once

#include "mail/imap_session.h"
#include "mainwindow/all_folders_run.h"
#include "mainwindow/window_parts.h"

#include <QObject>

#include <functional>
#include <memory>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tallyhive {

class NumberedHandler;
class StatusProgressBar;

// The fetch commands: the filter, "2a. Get All Emails" and "2b. Get Some
// Emails" (each "Stop" while a run goes), and the progress bar that carries
// the status line; and the run that fills the list.
class FetchPanel : public QObject {
    Q_OBJECT
public:
    FetchPanel(QWidget* face, WindowParts& window, QObject* parent);

    void PushButton2_Click();  // "2b. Get Some Emails", or "Stop" while a run goes
    void PushButton3_Click();  // "2a. Get All Emails", or "Stop" while a run goes

    // Captions, widths and enabled fetch buttons, as the window's state says.
    void showActivity(WindowActivity::State state);

    StatusProgressBar& progress() const { return *ProgressBar1; }
    void setStatus(const QString& text);

    // The session's events; a session the window no longer holds is not heard.
    void oChilkat_ScrapProgress(clsChilkatIMAP* sender, int percent);
    void oChilkat_StatusChanged(clsChilkatIMAP* sender, const QString& text);
    void oChilkat_MailExtractListing(clsChilkatIMAP* sender, EmailRecord&& mail, int uID);

private:
    void Stop();
    // False when another long operation runs.
    bool startFetchRun(NumberedHandler& h);
    // The run's session: the window's, or one made and connected for the run
    // (lines firstLine to firstLine + 20). False when that connect failed.
    bool takeRunSession(NumberedHandler& h, int firstLine, std::shared_ptr<clsChilkatIMAP>& session);
    // closing: the closing box's text, given whether a bare "Done." is held back.
    void closeFetchRun(NumberedHandler& h, int firstLine, const std::function<QString(bool skipDone)>& closing);
    // Get All's reading of the folder chosen.
    void readOneFolder(NumberedHandler& h, const std::shared_ptr<clsChilkatIMAP>& session);
    // Get All with "(all folders)": every folder into the list, its folder shown.
    void readAllFolders(NumberedHandler& h, AllFoldersRun& run);
    void showRunPosition(const clsChilkatIMAP& session, qint64 number);

    WindowParts& window_;
    QGroupBox* Frame4;
    QLineEdit* txtSearch;
    QPushButton* PushButton3;
    QPushButton* PushButton2;
    StatusProgressBar* ProgressBar1;
    AllFoldersRun* readingAll_ = nullptr;  // while an all-folders run goes
};

}  // namespace tallyhive
