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
inline const QString ErrorLogNotOpened = QStringLiteral("Cannot open the error log %1: %2");
inline const QString ErrorLogNotWritten = QStringLiteral("Cannot write the error log %1: %2");

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
inline const QString MicrosoftNeedsClientId = QStringLiteral(
    "Outlook.com accepts only browser sign-in with your Microsoft account: it no longer takes a password here. "
    "This copy of Tallyhive has no Microsoft application id to sign in with. "
    "The section \"Signing in to Outlook.com\" of the README shows how to register one and set TALLYHIVE_OAUTH_CLIENT_ID.");
inline const QString PasswordNotNeeded = QStringLiteral("Not needed: you sign in in the browser");
inline const QString StatusFinishInBrowser = QStringLiteral("Finish signing in in your browser (click \"1. Connect\" again to cancel)...");
inline const QString StatusSignInCancelled = QStringLiteral("Sign-in cancelled.");
inline const QString SignInDeclined = QStringLiteral(
    "The sign-in was declined in the browser, so Tallyhive may not read this mailbox. Click \"1. Connect\" to try again.");
inline const QString SignInWrongAccount = QStringLiteral(
    "The mail server did not accept the sign-in for %1. In the browser, sign in with that same account, then click \"1. Connect\" again.");
inline const QString SignInTimedOut = QStringLiteral(
    "The sign-in was not finished in the browser within 5 minutes. Click \"1. Connect\" to try again.");
inline const QString SignInUnreachable = QStringLiteral(
    "The Microsoft sign-in service could not be reached. Check the internet connection, then click \"1. Connect\" again.");
inline const QString SignInFailed = QStringLiteral("The sign-in did not succeed. The sign-in service said: %1");
inline const QString SignInNoLongerAccepted = QStringLiteral(
    "The mail server no longer accepts the saved sign-in. Click \"Disconnect\", then \"1. Connect\" to sign in again in the browser.");
inline const QString CannotRememberSignIn = QStringLiteral(
    "Tallyhive cannot remember this sign-in: the desktop's secret store is not available. You stay signed in until the program closes.");

// Fetch commands
inline const QString GetAllCaption = QStringLiteral("2a. Get All Emails");
inline const QString GetSomeCaption = QStringLiteral("2b. Get Some Emails");
inline const QString StopCaption = QStringLiteral("Stop");
inline const QString ConnectFirst = QStringLiteral("Please connect first (Step 1) before using this feature.");
inline const QString NoEmailsInFolder = QStringLiteral("There are no emails in the Folder you selected.");
inline const QString ZeroEmailsInFolder = QStringLiteral("There are 0 emails in the Folder you selected.");
inline const QString Done = QStringLiteral("Done.");
inline const QString RunIncomplete = QStringLiteral("Done, but %1 of the %2 messages asked for could not be read.\r\n\r\nThe first reason: %3");
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
