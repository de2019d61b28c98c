#pragma once

#include <QString>

// The program's fixed texts, each written once.
namespace tallyhive::texts {

inline const QString AppTitle = QStringLiteral("Tallyhive");
inline const QString ApplicationErrorTitle = QStringLiteral("Application Error");

// Error report
inline const QString AtLine = QStringLiteral("at line ");
inline const QString ScreenshotRequest = QStringLiteral("Please email screenshot of this message to ");
inline const QString ExportSubject = QStringLiteral("Subject: ");
inline const QString ExportBodyStart = QStringLiteral("Mid(EmailCollection(i).s_PlainText, 1, 1022): ");
inline const QString ExportBodyWhole = QStringLiteral("EmailCollection(i).s_PlainText: ");
inline const QString ErrorLogRule = QStringLiteral("****************************************************");
inline const QString ErrorLogFileName = QStringLiteral("errorlog.txt");
inline const QString ErrorLogNotOpened = QStringLiteral("The error log %1 could not be written at all: %2.");
inline const QString ErrorLogNotWritten = QStringLiteral("Entries could not be added to the error log %1: %2.");
inline const QString ErrorLogMoved = QStringLiteral("The error log %1 was refused: %2. The log went to %3 instead.");
inline const QString ErrorLogIsLink = QStringLiteral("It is a symbolic link");
inline const QString ErrorLogNotAFolder = QStringLiteral("It is not a folder");
inline const QString ErrorLogNotAFile = QStringLiteral("It is not a plain file");
inline const QString ErrorLogOtherOwner = QStringLiteral("It belongs to another user");
inline const QString ErrorLogOtherNames = QStringLiteral("It has other names too");

// Failures named as the original runtime named them
inline const QString ObjectNotSet = QStringLiteral("Object variable or With block variable not set");
inline const QString IndexOutOfBounds = QStringLiteral("Index out of bounds");

// Mail session
inline const QString InvalidLogin = QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n");
inline const QString ConnectionFailed = QStringLiteral("Connection failed. Check username and password.");
inline const QString IdCommand = QStringLiteral("ID (\"GUID\" \"1\")");
inline const QString Reconnecting = QStringLiteral("Connection lost; reconnecting (%1 of %2)...");
inline const QString MessageKeptAsRawText =
    QStringLiteral("Message %1 would take too long or too much memory to convert; its raw text is listed as its body");

// Command runner and connectivity check
inline const QString ProcessStartFailed = QStringLiteral("Failed to create process, check the path of the command line.");
inline const QString PingReplyMarker = QStringLiteral("bytes=");
inline const QString MustBeOnline = QStringLiteral("You must be online to use this software accurately.");

// Start-up
inline const QString CursorFile = QStringLiteral("HAND-M.CUR");
inline const QString SkinFile = QStringLiteral("x/o.cjs");
// The name the menu entry and the icon are installed under.
inline const QString DesktopName = QStringLiteral("tallyhive");

// Command line
inline const QString CommandLineDescription = QStringLiteral(
    "Signs in to an IMAP mailbox, fetches a folder's messages into a list you check,\n"
    "and sends the checked ones with their bodies to a new .xlsx workbook.");
inline const QString CommandLineHelpOption = QStringLiteral("Shows the options and the environment, then exits.");
inline const QString CommandLineVersionOption = QStringLiteral("Shows the version, then exits.");
inline const QString CommandLineRefused = QStringLiteral("%1: %2\nTry '%1 --help' for what it takes.\n");
inline const QString CommandLineNoArguments = QStringLiteral("Unexpected argument '%1'.");
inline const QString CommandLineSetupOption = QStringLiteral(
    "Opens the \"Microsoft sign-in\" dialog first, to enter the application Tallyhive signs in to Outlook.com with.");
inline const QString CommandLineForgetOption = QStringLiteral(
    "Removes the messages kept between runs (for every account), then exits.");
inline const QString StoreForgotten = QStringLiteral("The messages kept between runs are removed.\n");
inline const QString StoreNotForgotten = QStringLiteral("%1: %2\n");
inline const QString CommandLineEnvironment = QStringLiteral(
    "\n"
    "Environment (a variable that is set, even to nothing, replaces the built-in\n"
    "value shown in brackets):\n"
    "  TALLYHIVE_IMAP_HOST        IMAP server, implicit TLS [outlook.office365.com]\n"
    "  TALLYHIVE_IMAP_PORT        its port [993]\n"
    "  TALLYHIVE_MAIL_DOMAINS     the three \"@\" suffixes offered for the Live ID\n"
    "                             [hotmail.com,live.com,outlook.com]\n"
    "  TALLYHIVE_CA_FILE          an extra CA certificate (PEM) to trust besides the\n"
    "                             system's; certificates are always verified []\n"
    "  TALLYHIVE_READ_TIMEOUT_MS  a call fails when the server is silent this long\n"
    "                             [30000]\n"
    "  TALLYHIVE_SIGN_IN          password, microsoft or auto [auto]\n"
    "  TALLYHIVE_OAUTH_CLIENT_ID  the Application (client) ID Microsoft sign-in uses;\n"
    "                             overrides the one saved by the \"Microsoft sign-in\"\n"
    "                             dialog, which overrides the one built in []\n"
    "  TALLYHIVE_OAUTH_HOST       Microsoft's sign-in host\n"
    "                             [https://login.microsoftonline.com]\n"
    "  TALLYHIVE_OAUTH_AUTHORITY  where /authorize and /token live; overrides the host\n"
    "                             and the account type chosen [HOST/consumers/oauth2/v2.0]\n"
    "  TALLYHIVE_BROWSER          a command given the sign-in address; empty: the\n"
    "                             desktop's browser []\n"
    "  TALLYHIVE_EXPORT_DIR       where workbooks are written [~/Documents/Tallyhive]\n"
    "  TALLYHIVE_OPEN_WORKBOOK    0 writes a workbook without opening it [1]\n"
    "  TALLYHIVE_STORE_CAP_MB     the most the messages kept between runs (while\n"
    "                             \"Remember me\" is ticked) may take [2048]\n"
    "  TALLYHIVE_PING_HOST        pinged once at start to tell whether the machine is\n"
    "                             online; empty: no check [www.microsoft.com]\n"
    "  TALLYHIVE_HOME_PAGE        opened on about one start in a hundred; empty: never\n"
    "                             [https://www.corvanta.com]\n"
    "\n"
    "Qt's own window options (-platform, -style, -geometry, ...) work as in any Qt\n"
    "program. Settings are kept in ~/.config/Corvanta.ini.\n");

// Sign-in panel
inline const QString ConnectCaption = QStringLiteral("1. Connect");
inline const QString DisconnectCaption = QStringLiteral("Disconnect");
inline const QString LiveIdEntry = QStringLiteral("Live!ID");
inline const QString StatusConnecting = QStringLiteral("Connecting to Windows Live Hotmail...");
inline const QString StatusConnected = QStringLiteral("Connected to Windows Live Hotmail. Please select folder to extract emails from.");
inline const QString StatusDisconnecting = QStringLiteral("Disconnecting from Windows Live Hotmail...");
inline const QString StatusDisconnected = QStringLiteral("Disconnected from Windows Live Hotmail.");
inline const QString HelpText = QStringLiteral("Having problems connecting? Make sure you have the latest version by downloading from ");
inline const QString ProgressBarIdle = QStringLiteral("Progress Bar");

// Microsoft sign-in
inline const QString PasswordNotNeeded = QStringLiteral("Not needed");
inline const QString PasswordNotNeededTip = QStringLiteral("Not needed: you sign in in the browser");
inline const QString StatusFinishInBrowser = QStringLiteral("Finish signing in in your browser (click \"1. Connect\" again to cancel)...");
inline const QString StatusSignInCancelled = QStringLiteral("Sign-in cancelled.");
inline const QString SignInDeclined = QStringLiteral(
    "The sign-in was declined in the browser, so Tallyhive may not read this mailbox. Click \"1. Connect\" to try again.");
inline const QString SignInWrongAccount = QStringLiteral(
    "The mail server did not accept the sign-in for %1. Either IMAP is switched off for this mailbox: in Outlook.com open "
    "Settings, Mail, Forwarding and IMAP, switch on \"Let devices and apps use IMAP\" and save. Or another account was "
    "chosen in the browser than the one you meant. Then click \"1. Connect\" again.");
inline const QString SignInOtherMailbox = QStringLiteral(
    "You signed in in the browser as %1, so Tallyhive reads the mailbox %1, not %2. To read %2, click \"Disconnect\", "
    "then \"1. Connect\" and choose that account in the browser.");
inline const QString BrowserNotOpened = QStringLiteral(
    "The browser could not be opened. Copy this address into your browser to sign in; Tallyhive waits for you:\n\n%1");
inline const QString SignInUnexpected = QStringLiteral(
    "The Microsoft sign-in service answered unexpectedly (%1). Click \"1. Connect\" to try again later.");
inline const QString SignInPageDone = QStringLiteral(
    "Tallyhive has the answer to its sign-in. You may close this page and go back to Tallyhive.");
inline const QString SignInPageFailed = QStringLiteral(
    "The sign-in did not finish. You may close this page and go back to Tallyhive, which says why.");

inline const QString SignInUnreachable = QStringLiteral(
    "The Microsoft sign-in service could not be reached. Check the internet connection, then click \"1. Connect\" again.");

inline const QString SignInNoLongerAccepted = QStringLiteral(
    "The mail server no longer accepts the saved sign-in. Click \"Disconnect\", then \"1. Connect\" to sign in again in the browser.");
inline const QString CannotRememberSignIn = QStringLiteral(
    "Tallyhive cannot remember this sign-in: the desktop's secret store is not available. You stay signed in until the program closes.");

// Microsoft sign-in: the registered application, and what to do when it is wrong
inline const QString MicrosoftSetupTitle = QStringLiteral("Microsoft sign-in");
inline const QString MicrosoftSetupAction = QStringLiteral("Microsoft sign-in...");
inline const QString MicrosoftSetupSteps = QStringLiteral(
    "Tallyhive signs in to Outlook.com through an application registered with Microsoft. If whoever gave you "
    "Tallyhive named one, enter its Application (client) ID below. Otherwise register one; it is free, but needs a "
    "directory: sign up for Azure, or join the Microsoft 365 Developer Program.\n"
    "1. Open the registration page (Entra ID, App registrations) and choose \"New registration\".\n"
    "2. Under \"Supported account types\" choose the accounts you will sign in with, and the same below. For "
    "Outlook.com, Hotmail and Live choose one that includes personal Microsoft accounts: the page proposes "
    "\"this organizational directory only\", which cannot sign them in.\n"
    "3. Under \"Redirect URI\" choose \"Public client/native (mobile & desktop)\" and enter http://localhost.\n"
    "4. Choose \"Register\" and copy the \"Application (client) ID\" of its overview page into the box below.\n"
    "Until the application's publisher is verified, organisations may ask their administrator to approve it.");
inline const QString MicrosoftSetupOpenPage = QStringLiteral("Open the registration page");
inline const QString MicrosoftSetupIdLabel = QStringLiteral("Application (client) ID:");
inline const QString MicrosoftSetupAccountsLabel = QStringLiteral("Registered for:");
inline const QString PersonalAccounts = QStringLiteral("Personal Microsoft accounts (Outlook.com, Hotmail, Live)");
inline const QString WorkAccounts = QStringLiteral("Work or school accounts");
inline const QString AllAccounts = QStringLiteral("Both");
inline const QString OneOrganisation = QStringLiteral("One organisation only:");
inline const QString OneOrganisationPlaceholder = QStringLiteral("its directory (tenant) id or domain, e.g. contoso.com");
inline const QString MicrosoftSetupInForce = QStringLiteral("In force now: %1, and %2.");
inline const QString MicrosoftSetupNoId = QStringLiteral("no application id");
inline const QString MicrosoftSetupIdBuiltIn = QStringLiteral("the application id built into this copy of Tallyhive");
inline const QString MicrosoftSetupIdSaved = QStringLiteral("the application id saved here");
inline const QString MicrosoftSetupIdFromEnvironment = QStringLiteral("the application id set in TALLYHIVE_OAUTH_CLIENT_ID");
inline const QString MicrosoftSetupTypeBuiltIn = QStringLiteral("the account type built into this copy of Tallyhive");
inline const QString MicrosoftSetupTypeSaved = QStringLiteral("the account type saved here");
inline const QString MicrosoftSetupTypeFromEnvironment = QStringLiteral("the sign-in address set in TALLYHIVE_OAUTH_AUTHORITY");
inline const QString MicrosoftSetupIdOverridden = QStringLiteral(
    "While TALLYHIVE_OAUTH_CLIENT_ID is set in the environment, the id saved here is not used.");
inline const QString MicrosoftSetupTypeOverridden = QStringLiteral(
    "While TALLYHIVE_OAUTH_AUTHORITY is set in the environment, the account type saved here is not used.");
inline const QString PageNotOpened = QStringLiteral("The browser could not be opened. Copy this address into your browser:\n\n%1");
inline const QString AadstsAdvice = QStringLiteral(
    "If Microsoft's page showed an error code beginning with AADSTS700016, 50011, 50194, 9002331 or 9002332, the "
    "application id, its account type or its redirect address is wrong: choose \"Microsoft sign-in...\" to change "
    "them. AADSTS90094, 90095, 65001, 53003 and 50105 ask your organisation's administrator to allow Tallyhive first.");
inline const QString SignInWaitHelp = QStringLiteral(
    "Finish signing in in your browser; Tallyhive waits for you.\n\n"
    "If Microsoft's page shows an error code beginning with AADSTS, click \"1. Connect\" to stop waiting. Then:\n"
    "AADSTS700016, 50011, 50194, 9002331 or 9002332: the application id, its account type or its redirect address is "
    "wrong; choose \"Microsoft sign-in...\" in the box that follows to change them.\n"
    "AADSTS90094, 90095, 65001, 53003 or 50105: your organisation's administrator must allow Tallyhive first.\n"
    "AADSTS65004: the permissions were declined; connect again and accept them.");
inline const QString SignInCancelled =
    QStringLiteral("The sign-in was cancelled. ") + AadstsAdvice + QStringLiteral(" Otherwise click \"1. Connect\" to try again.");
inline const QString SignInTimedOut = QStringLiteral("The sign-in was not finished in the browser within 5 minutes. ") + AadstsAdvice
                                      + QStringLiteral(" Otherwise click \"1. Connect\" to try again.");
inline const QString SignInFailed = QStringLiteral("The sign-in did not succeed. The sign-in service said: %1\n\n") + AadstsAdvice;
inline const QString SignInRegistrationRefused = QStringLiteral(
    "Microsoft refused the application Tallyhive signs in with. It said: %1\n\nThe application id, its account type or "
    "its redirect address does not match its registration: choose \"Microsoft sign-in...\" to change them.");
inline const QString SignInAdministratorNeeded = QStringLiteral(
    "Your organisation must allow Tallyhive before you can sign in. Microsoft said: %1\n\nAsk your administrator to "
    "grant consent for the application %2 (Entra ID, Enterprise applications), to assign you to it, or to let its "
    "Conditional Access policies admit it. Then click \"1. Connect\" again.");
inline const QString MailboxNotServed = QStringLiteral(
    "The mail server accepted the sign-in for %1 but would not open its mailbox. Either IMAP is switched off for it: in "
    "Outlook.com open Settings, Mail, Forwarding and IMAP, switch on \"Let devices and apps use IMAP\" and save. Or the "
    "account chosen in the browser is not the one whose mailbox you meant. Then click \"1. Connect\" again.");
inline const QString LiveIdNotAnAddress = QStringLiteral(
    "The Live ID must be a whole mail address, such as name@outlook.com, with no blank and no invisible character in it.");

// Folder choice
inline const QString OtherFolderCaption = QStringLiteral("Other:");
inline const QString OtherFoldersBeforeConnect = QStringLiteral("(none yet)");
inline const QString OtherFoldersToChoose = QStringLiteral("(choose)");
inline const QString NoOtherFolders = QStringLiteral("(none)");
// The first entry once the server listed its folders: Get All reads them all.
inline const QString AllFolders = QStringLiteral("(all folders)");
inline const QString AllFoldersNoRange = QStringLiteral(
    "Get Some reads a range of one folder. Choose a folder for it, or read every folder with Get All.");
inline const QString ReadingFolderMail = QStringLiteral("%1: reading mail %2 of %3");
inline const QString AllFoldersIncomplete = QStringLiteral("Done, but not every message could be read:\r\n\r\n%1");
// One line per folder of the box above, or after RunStopped.
inline const QString FolderNotAllRead = QStringLiteral("%1: %2 of %3 messages could not be read. The first reason: %4");
inline const QString FolderNotOpened = QStringLiteral("%1: the folder could not be opened: %2");
// The last entry of a list that was cut: how many are shown, of how many.
inline const QString OtherFoldersCut = QStringLiteral("(only the first %1 of %2 folders, in alphabetical order)");

// Fetch commands
inline const QString GetAllCaption = QStringLiteral("2a. Get All Emails");
inline const QString GetSomeCaption = QStringLiteral("2b. Get Some Emails");
inline const QString StopCaption = QStringLiteral("Stop");
inline const QString ConnectFirst = QStringLiteral("Please connect first (Step 1) before using this feature.");
inline const QString NoEmailsInFolder = QStringLiteral("There are no emails in the Folder you selected.");
inline const QString ZeroEmailsInFolder = QStringLiteral("There are 0 emails in the Folder you selected.");
inline const QString Done = QStringLiteral("Done.");
inline const QString RunIncomplete = QStringLiteral("Done, but %1 of the %2 messages asked for could not be read.\r\n\r\nThe first reason: %3");
inline const QString RunStopped = QStringLiteral("Stopped after reading %1 of the %2 messages asked for.");
inline const QString RunStoppedUnread = QStringLiteral("\r\n\r\n%1 of them could not be read.\r\n\r\nThe first reason: %2");
inline const QString ReadingMail = QStringLiteral("Reading mail ");
inline const QString Of = QStringLiteral(" of ");
inline const QString GetSomeTitle = QStringLiteral("Get Some Emails");
inline const QString FromLabel = QStringLiteral("From:");
inline const QString ToMaxOf = QStringLiteral("To (Max of ");
inline const QString ContinueCaption = QStringLiteral("Continue");
inline const QString ValueAboveZero = QStringLiteral("Please input a value greater than zero.");
inline const QString MaxValueRange = QStringLiteral("Please input max value greater than 0 and less than or equal to ");

// Email list
inline const QString TotalEmails = QStringLiteral("Total Number Of Emails: ");
inline const QString SelectedEmails = QStringLiteral("Selected Emails: ");
inline const QString FilterFrameCaption = QStringLiteral("Optional: Filter (Only messages containing characters below will be added to the list)");

// Check commands and larger view
inline const QString EnterX = QStringLiteral("Enter X:");
inline const QString LargerViewCaption = QStringLiteral(" List In Larger View");

// Send To Excel
inline const QString SendToExcelCaption = QStringLiteral("3. Send To Excel");
inline const QString SendingRow = QStringLiteral("Sending row ");
inline const QString ExportTooManyRows = QStringLiteral("The checked emails do not fit on one worksheet, which holds %1 rows below its titles. Uncheck the rows after row %1 and try again. Nothing was exported.");
inline const QString ExportBodyTooWide = QStringLiteral("The email in row %1 of the list is too long for one worksheet row. Uncheck it and try again. Nothing was exported.");
inline const QString ExportRowBeyondSheet = QStringLiteral("Row %1 of the list and the rows after it do not fit on the worksheet and were not exported.");
inline const QString ExportBodyCutShort = QStringLiteral("The body of the email in row %1 of the list is too long for one worksheet row and was not exported.");

// Spreadsheet file
inline const QString ExportFolderUnavailable = QStringLiteral("The export folder %1 cannot be created or written to.");
inline const QString WorkbookNotCreated = QStringLiteral("A new workbook could not be started for %1.");
inline const QString WorkbookNotWritten = QStringLiteral("The workbook %1 could not be written: %2");
inline const QString WorkbookNotOpened = QStringLiteral("The workbook was saved as %1 but could not be opened.");
inline const QString NoWorkbook = QStringLiteral("No workbook has been added.");
inline const QString CellOutsideSheet = QStringLiteral("Outside the worksheet: cell ");
inline const QString CellNotWritten = QStringLiteral("Could not write cell ");
inline const QString ColumnNotFitted = QStringLiteral("Could not fit a column");

}  // namespace tallyhive::texts
