#include "mainwindow/application.h"

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
    QApplication::setApplicationName(QStringLiteral("Tallyhive"));
    platform::QtMessageBoxes boxes;
    platform::QtSettingsStore settings;
    platform::XlsxSpreadsheetFactory spreadsheets;
    Form1 window(Form1Services{boxes, settings, spreadsheets, [] { return platform::createImapComponent(); }});
    boxes.setOwner(&window);
    window.Form_Load();
    window.show();
    return application.exec();
}

}  // namespace tallyhive
