#pragma once

#include "app/sign_in_method.h"
#include "interfaces/browser_sign_in.h"
#include "interfaces/imap_component.h"
#include "interfaces/message_store.h"
#include "interfaces/message_boxes.h"
#include "interfaces/settings_store.h"
#include "interfaces/spreadsheet.h"
#include "mail/imap_session.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tallyhive {

namespace platform {
class QtListView;
}
class NumberedHandler;
class StatusProgressBar;
class WindowPointer;

// What the main window is given rather than makes itself, so tests can
// hand in fakes.
struct Form1Services {
    platform::MessageBoxes& boxes;
    platform::SettingsStore& settings;
    platform::SpreadsheetFactory& spreadsheets;
    // Outlives the window; each session connects to what it says then.
    const platform::ImapServer& server;
    std::function<std::shared_ptr<platform::ImapComponent>()> createImapComponent;
    // Microsoft account sign-in; needed only when that is the sign-in method.
    platform::BrowserSignIn* signIn = nullptr;
    // Fetched messages kept between runs while "Remember me" is ticked; none without.
    platform::MessageStore* messageStore = nullptr;
};

// The main window: sign-in panel, folder choice, fetch commands, the email
// list with its filter and counts, the check commands and the export.
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
    void PushButton6_Click();   // "Uncheck All"
    void PushButton7_Click();   // "Clear List"
    void PushButton8_Click();   // "Show List In Larger View"
    void PushButton9_Click();   // "Check Emails Containing..."
    void PushButton10_Click();  // "Check Emails Not Containing..."
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

    void RefreshCounts(bool reset);

    // Controls, under their designer names.
    QGroupBox* Frame5;
    std::array<QLabel*, 2> lblLabels;
    QLineEdit* Text1;
    QLineEdit* Text2;
    QComboBox* Combo1;
    QCheckBox* Check1;
    QCheckBox* Check2;
    QPushButton* PushButton1;
    QPushButton* PushButton11;
    QGroupBox* Frame2;
    QRadioButton* Option3;
    QRadioButton* Option5;
    QRadioButton* Option6;
    QRadioButton* Option7;
    QRadioButton* Option9;
    QRadioButton* Option10;  // "Other:"
    QComboBox* Combo2;       // the folder "Other:" stands for
    QGroupBox* Frame4;
    QLineEdit* txtSearch;
    QPushButton* PushButton3;
    QPushButton* PushButton2;
    StatusProgressBar* ProgressBar1;
    platform::QtListView* ListView1;
    QLabel* lblSignInHelp;  // over the empty list while the browser has the user
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* PushButton5;
    QPushButton* PushButton6;
    QPushButton* PushButton9;
    QPushButton* PushButton10;
    QPushButton* PushButton7;
    QPushButton* PushButton8;
    QPushButton* PushButton4;

    // Window state shared by the commands.
    std::shared_ptr<platform::ImapComponent> imapComponent;
    std::shared_ptr<clsChilkatIMAP> oChilkat;
    bool KeepChecks = false;
    QString SavedCaption;
    bool SkipDoneMessage = false;
    bool RangeAccepted = false;

    WindowPointer& pointer() const { return *pointer_; }
    // The status line inside the progress bar.
    QString statusText() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void connectHandlers();
    std::array<QRadioButton*, 6> folderOptions() const;

    // Start-up pieces.
    void ApplySkin();
    void VisitHomePageOccasionally();
    void AddListColumns();
    void addComboEntry(const QString& entry);

    // Sign-in panel.
    void Connect();
    bool connectSession(clsChilkatIMAP& session);
    bool connectWithMicrosoft(clsChilkatIMAP& session);
    bool connectAsMailbox(clsChilkatIMAP& session, const QString& account);
    bool signInThroughBrowser(const QString& account);
    bool signInServiceFailed();
    // True when the user chose to set up the application again, and did.
    bool showSignInOutcome(platform::BrowserSignIn::Outcome outcome);
    void oChilkat_SignInRefused();
    void oChilkat_MailboxNotServed(const QString& mailbox);
    void chooseMicrosoftApplication();
    void applySignInMethod();
    platform::BrowserSignIn& signIn() const;
    void Disconnect(bool skipForgetting);
    void Check1_Click();
    void Check2_Click();
    void Combo1_Click();
    void Text1_Change();
    void Text2_Change();
    void setCheckValue(QCheckBox* box, int value);
    int checkValue(const QCheckBox* box) const;
    void setStatus(const QString& text);

    // Folder choice.
    void setOption(QRadioButton* option, bool selected);
    void Option_Click();
    void makeFolderOptionsOneGroup();
    void moveFolderChoice(QRadioButton* from, int step);
    void placeFolderTabStop();
    void Combo2_Change();
    void Combo2_Activated();
    void showOtherFolders(const QStringList& folders);
    QString otherFolder() const;  // the full name of the folder "Other:" shows
    void showOnlyFolder(const QString& folder);
    void updateOtherOption();

    // Fetch commands.
    std::shared_ptr<clsChilkatIMAP> newSession();
    void Stop();
    void startFetchRun(NumberedHandler& h, QPushButton* startedBy);
    // The run's session: the window's, or one made and connected for the run
    // (lines firstLine to firstLine + 20). False when that connect failed.
    bool takeRunSession(NumberedHandler& h, int firstLine, std::shared_ptr<clsChilkatIMAP>& session);
    // run: the session whose extraction ran, if one did; its shortfall decides the closing box.
    void closeFetchRun(NumberedHandler& h, int firstLine, QPushButton* startedBy, const clsChilkatIMAP* run);
    QPushButton* otherFetchButton(QPushButton* button) const;
    QString fetchCaption(QPushButton* button) const;
    void oChilkat_ScrapProgress(clsChilkatIMAP* sender, int percent);
    void showRunPosition(const clsChilkatIMAP& session, qint64 number);
    void oChilkat_StatusChanged(clsChilkatIMAP* sender, const QString& text);
    void oChilkat_MailExtractListing(clsChilkatIMAP* sender, EmailRecord&& mail, int uID);
    void ListView1_ItemCheck(int row);

    void saveSetting(const QString& key, const QString& value);

    Form1Services services_;
    WindowPointer* pointer_;
    bool fetchRunning_ = false;
    // The connect command never runs inside itself: a click on "1. Connect"
    // while it runs cancels a sign-in waiting for the browser, and does
    // nothing otherwise.
    bool connecting_ = false;
    bool tokenRefused_ = false;
    bool cannotRememberShown_ = false;
    // The mailbox last said to differ from the Live ID typed; said once.
    QString announcedMailbox_;
    // The mailbox the last connect read, and the Live ID it was read for:
    // fetch runs sign in as the same.
    QString readMailbox_;
    QString readMailboxFor_;
    SignInMethod signInMethod_ = SignInMethod::Password;
    platform::MicrosoftApplication microsoftApplication_;
    // Load must not open the browser or the setup dialog while the window
    // cannot be seen; the connect waits until it is shown.
    bool loading_ = false;
    bool connectWhenShown_ = false;
};

}  // namespace tallyhive
