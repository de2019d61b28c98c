#include "mainwindow/form1.h"

#include "app/config.h"
#include "app/locations.h"
#include "app/numbered_handler.h"
#include "app/numbers.h"
#include "app/run_command.h"
#include "app/settings_keys.h"
#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "app/window/window_prep.h"
#include "interfaces/error.h"
#include "mainwindow/list_columns.h"
#include "platform/qt/qt_list_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QUrl>

namespace tallyhive {

void Form1::Form_Load()
{
    using namespace settings_keys;
    NumberedHandler h(services_.boxes, locations::Form1Load);
    loading_ = true;
    const auto loaded = qScopeGuard([this] { loading_ = false; });
    const auto setting = [this](const QString& key, const std::optional<QString>& fallback = std::nullopt) {
        return services_.settings.getSetting(Application, Section, key, fallback);
    };

    h.step(100, [&] { CheckOnline(services_.boxes); });
    h.step(102, [&] { ApplySkin(); });
    h.step(104, [&] { CentreOnScreen(*this); });
    h.step(106, [&] {
        setWindowTitle(texts::AppTitle);
        ApplyProgramIcon(*this);
    });
    const QString cursorFile = QDir(programFolder()).filePath(texts::CursorFile);
    if (!h.test(108, [&] { return !FileExists(cursorFile); }))
        h.step(110, [&] { pointer_->loadCustom(cursorFile); });
    h.step(112, [&] { VisitHomePageOccasionally(); });
    AddListColumns();
    h.step(154, [&] { ListView1->removeAllRows(); });
    h.step(156, [&] { ListView1->redraw(); });
    chooseMicrosoftApplication();
    h.step(158, [&] {
        imapComponent = services_.createImapComponent();
        if (!imapComponent)
            throw AppError(QStringLiteral("ActiveX component can't create object"));
    });
    if (h.test(160, [&] { return readInteger(setting(StayConnected, QStringLiteral("0"))) != 0; })) {
        h.step(162, [&] { setCheckValue(Check1, 1); });
        h.step(164, [&] { Text1->setText(setting(User)); });
        h.step(166, [&] { Text2->setText(setting(Password)); });
    } else {
        h.step(168, [&] {
            setCheckValue(Check1, 0);
            Text1->clear();
            Text2->clear();
            // A password is kept only while "Remember me" is ticked; one left
            // behind from an earlier run goes now.
            if (!setting(Password).isEmpty())
                saveSetting(Password, QString());
        });
    }
    applySignInMethod();
    h.step(170, [&] { RefreshCounts(false); });
    h.step(172, [&] { KeepChecks = false; });
    h.step(174, [&] { PaintWhite(*Label1); });
    h.step(176, [&] { PaintWhite(*Label2); });
    if (h.test(178, [&] { return checkValue(Check1) != 0; }))
        h.step(180, [&] { Check2->setEnabled(true); });
    else
        h.step(182, [&] { Check2->setEnabled(false); });
    h.step(184, [&] { setCheckValue(Check2, readInteger(setting(AutoConnect, QStringLiteral("0")))); });
    // Selecting an option saves all six, so the six are read before any is set.
    const QString option3 = setting(settings_keys::Option3, QStringLiteral("1"));
    const QString option5 = setting(settings_keys::Option5, QStringLiteral("0"));
    const QString option6 = setting(settings_keys::Option6, QStringLiteral("0"));
    const QString option7 = setting(settings_keys::Option7, QStringLiteral("0"));
    const QString option9 = setting(settings_keys::Option9, QStringLiteral("0"));
    const QString option10 = setting(settings_keys::Option10, QStringLiteral("0"));
    h.step(186, [&] { setOption(Option3, readBoolean(option3)); });
    h.step(188, [&] { setOption(Option5, readBoolean(option5)); });
    h.step(190, [&] { setOption(Option6, readBoolean(option6)); });
    h.step(192, [&] { setOption(Option7, readBoolean(option7)); });
    h.step(194, [&] { setOption(Option9, readBoolean(option9)); });
    // The chosen folder is shown, and used, before the server lists its folders.
    h.step(196, [&] { showOnlyFolder(setting(settings_keys::Combo2)); });
    h.step(198, [&] { setOption(Option10, readBoolean(option10)); });
    h.step(333, [&] { addComboEntry(texts::LiveIdEntry); });
    const QStringList domains = config::mailDomains();
    h.step(444, [&] { addComboEntry(u'@' + domains.at(0)); });
    h.step(555, [&] { addComboEntry(u'@' + domains.at(1)); });
    h.step(666, [&] { addComboEntry(u'@' + domains.at(2)); });
    h.step(777, [&] {
        const int index = readInteger(setting(settings_keys::Combo1, QStringLiteral("0")));
        if (index < -1 || index >= Combo1->count())
            throw AppError(QStringLiteral("Invalid property value"));
        Combo1->setCurrentIndex(index);
    });
    if (h.test(206, [&] { return checkValue(Check2) == 1; }))
        h.step(208, [&] { PushButton1_Click(); });
}

void Form1::addComboEntry(const QString& entry)
{
    // Adding an entry selects nothing and saves nothing: the stored choice is
    // restored only after all entries are in.
    const QSignalBlocker quiet(Combo1);
    const int selected = Combo1->currentIndex();
    Combo1->addItem(entry);
    Combo1->setCurrentIndex(selected);
}

void Form1::AddListColumns()
{
    NumberedHandler h(services_.boxes, locations::Form1Load);
    static const std::array<int, 6> widths{1300, 1300, 1600, 1600, 1600, 0};
    for (int i = 0; i < 6; ++i)
        h.step(130 + 2 * i, [&] { ListView1->addColumn(ListColumnTitles[i]); });
    for (int i = 0; i < 6; ++i)
        h.step(142 + 2 * i, [&] { ListView1->setColumnWidth(i + 1, widths[i]); });
}

void Form1::ApplySkin()
{
    const QFileInfo skin(QDir(programFolder()).filePath(texts::SkinFile));
    if (!skin.isFile())
        return;
    ApplyFaceColours(*this);
    QFile file(skin.filePath());
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot read the skin %1: %2").arg(skin.filePath(), file.errorString()));
    setStyleSheet(QString::fromUtf8(file.readAll()));
}

void Form1::VisitHomePageOccasionally()
{
    const QString address = config::homePage();
    if (address.isEmpty())
        return;
    const QUrl page(address);
    // Only a web page is opened; anything else in the setting is ignored.
    if (page.scheme() != u"https" && page.scheme() != u"http")
        return;
    const int draw = static_cast<int>(QRandomGenerator::global()->bounded(100)) + 1;
    if (draw == 7)
        QDesktopServices::openUrl(page);
}

}  // namespace tallyhive
