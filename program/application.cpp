#include "program/application.h"

#include "app/error_report.h"
#include "program/config.h"
#include "app/sign_in_method.h"
#include "app/texts.h"
#include "auth/browser_launch.h"
#include "auth/microsoft_sign_in.h"
#include "mainwindow/form1.h"
#include "platform/mailbox/mailbox_component.h"
#include "platform/qt/qt_message_boxes.h"
#include "platform/qt/qt_settings_store.h"
#include "platform/store/sqlite_message_store.h"
#include "platform/xlsx/xlsx_spreadsheet.h"
#include "program/command_line.h"
#include "program/component_options.h"

#include <QApplication>

namespace tallyhive {

CommandLineAnswer forgetKeptMail()
{
    const platform::MailResult removed = platform::SqliteMessageStore::removeAll(messageStoreOptionsFromConfig().folder);
    if (removed.ok())
        return {0, texts::StoreForgotten, {}};
    return {1, {}, texts::StoreNotForgotten.arg(texts::AppTitle.toLower(), removed.text)};
}

int runApplication(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(texts::AppTitle);
    platform::QtMessageBoxes boxes;
    platform::QtSettingsStore settings;
    // Every setting is read here, once; the components get their own part.
    const platform::ImapServer imapServer = imapServerFromConfig();
    const Deployment deployment = config::deployment();
    if (const auto address = config::supportAddress())
        setSupportAddress(*address);
    const platform::ImapOptions imapOptions = imapOptionsFromConfig();
    platform::XlsxSpreadsheetFactory spreadsheets(workbookOptionsFromConfig());
    // Used only while "Remember me" is ticked; the window says when.
    const auto messageStore = std::make_shared<platform::SqliteMessageStore>(messageStoreOptionsFromConfig());
    // The application to sign in as is the window's to choose: it may be
    // saved in the settings, or set up in the window.
    auth::OAuthSettings oauth;
    oauth.scope = MicrosoftImapScope;
    oauth.browserCommand = config::browserCommand();
    auth::MicrosoftSignIn signIn(oauth);
    boxes.setPageOpener([&boxes, &signIn, browser = oauth.browserCommand](const QUrl& page) {
        auth::openInBrowser(browser, page, &signIn, &signIn, [&boxes, page] {
            boxes.show(texts::PageNotOpened.arg(page.toString()), texts::AppTitle, platform::BoxIcon::None);
        });
    });
    Form1 window(Form1Services{boxes, settings, spreadsheets, imapServer, deployment,
                               [imapOptions, messageStore] { return platform::createImapComponent(imapOptions, messageStore); },
                               &signIn, messageStore.get()});
    boxes.setOwner(&window);
    window.Form_Load();
    if (asksMicrosoftSetup(QCoreApplication::arguments()))
        window.MicrosoftSetup();
    window.show();
    return application.exec();
}

}  // namespace tallyhive
