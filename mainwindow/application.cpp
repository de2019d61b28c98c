#include "mainwindow/application.h"

#include "app/config.h"
#include "app/sign_in_method.h"
#include "app/texts.h"
#include "auth/microsoft_sign_in.h"
#include "mainwindow/component_options.h"
#include "mainwindow/form1.h"
#include "platform/mailbox/mailbox_component.h"
#include "platform/qt/qt_message_boxes.h"
#include "platform/qt/qt_settings_store.h"
#include "platform/xlsx/xlsx_spreadsheet.h"

#include <QApplication>

namespace tallyhive {

int runApplication(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(texts::AppTitle);
    platform::QtMessageBoxes boxes;
    platform::QtSettingsStore settings;
    // Every setting is read here, once; the components get their own part.
    const platform::ImapOptions imapOptions = imapOptionsFromConfig();
    platform::XlsxSpreadsheetFactory spreadsheets(workbookOptionsFromConfig());
    auth::OAuthSettings oauth;
    oauth.clientId = config::oauthClientId();
    oauth.authorizeUrl = QUrl(config::oauthAuthority() + QStringLiteral("/authorize"));
    oauth.tokenUrl = QUrl(config::oauthAuthority() + QStringLiteral("/token"));
    oauth.scope = MicrosoftImapScope;
    oauth.browserCommand = config::browserCommand();
    auth::MicrosoftSignIn signIn(oauth);
    Form1 window(Form1Services{boxes, settings, spreadsheets, [imapOptions] { return platform::createImapComponent(imapOptions); }, &signIn});
    boxes.setOwner(&window);
    window.Form_Load();
    window.show();
    return application.exec();
}

}  // namespace tallyhive
