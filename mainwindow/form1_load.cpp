#include "mainwindow/form1.h"

#include "app/locations.h"
#include "app/numbered_handler.h"
#include "app/run_command.h"
#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "app/window/window_prep.h"
#include "interfaces/error.h"
#include "mainwindow/email_list.h"
#include "mainwindow/folder_choice.h"
#include "mainwindow/sign_in_panel.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QUrl>

namespace tallyhive {

void Form1::Form_Load()
{
    NumberedHandler h(services_.boxes, locations::Form1Load);
    if (!activity_.start(WindowActivity::State::Loading))
        return;
    const auto loaded = qScopeGuard([this] { activity_.end(); });

    h.step(100, [&] { CheckOnline(services_.boxes, services_.deployment.pingHost); });
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
    parts_.list->prepare(h, services_.settings);
    parts_.signIn->chooseMicrosoftApplication();
    h.step(158, [&] {
        session_.component = services_.createImapComponent();
        if (!session_.component)
            throw AppError(QStringLiteral("ActiveX component can't create object"));
    });
    parts_.signIn->restoreRemembered(h);
    parts_.list->showCounts(h);
    parts_.signIn->restoreAutoConnect(h);
    parts_.folders->restore(h);
    parts_.signIn->addAccountSuffixes(h);
    if (h.test(206, [&] { return parts_.signIn->autoConnects(); }))
        h.step(208, [&] { PushButton1_Click(); });
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
    const QString address = services_.deployment.homePage;
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
