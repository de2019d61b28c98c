#include "mainwindow/email_list.h"

#include "app/numbered_handler.h"
#include "app/texts.h"
#include "app/window/window_prep.h"
#include "mainwindow/chosen_columns.h"
#include "mainwindow/email_counts.h"
#include "mainwindow/list_columns.h"
#include "platform/qt/qt_list_view.h"

#include <QLabel>

namespace tallyhive {

EmailList::EmailList(QWidget* face, QObject* parent) : QObject(parent)
{
    ListView1 = new platform::QtListView(face);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(twipsRect(120, 4245, 7800, 2520));
    // The list is empty while a sign-in waits for the browser: what to do
    // about an error on Microsoft's page is said there, and nothing moves.
    lblSignInHelp = new QLabel(texts::SignInWaitHelp, face);
    lblSignInHelp->setObjectName(QStringLiteral("lblSignInHelp"));
    lblSignInHelp->setGeometry(twipsRect(360, 4725, 7320, 1920));
    lblSignInHelp->setTextFormat(Qt::PlainText);
    lblSignInHelp->setWordWrap(true);
    lblSignInHelp->setAlignment(Qt::AlignCenter);
    lblSignInHelp->hide();

    Label1 = new QLabel(texts::TotalEmails, face);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twipsRect(120, 6870, 3840, 255));
    Label2 = new QLabel(texts::SelectedEmails, face);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twipsRect(4080, 6870, 3840, 255));

    ListView1->setItemCheckHandler([this](int row) { ListView1_ItemCheck(row); });
}

void EmailList::ListView1_ItemCheck(int) { RefreshCounts(false); }

platform::ListView& EmailList::view() const { return *ListView1; }

void EmailList::RefreshCounts(bool reset) { tallyhive::RefreshCounts(*ListView1, *Label1, *Label2, reset); }

void EmailList::showSignInHelp(bool shown) { lblSignInHelp->setVisible(shown); }

void EmailList::prepare(NumberedHandler& h, platform::SettingsStore& settings)
{
    AddListColumns(h);
    showExtraColumns(*ListView1, readChosenColumns(settings));
    offerColumnChoice(*ListView1, settings);
    h.step(154, [&] { ListView1->removeAllRows(); });
    h.step(156, [&] { ListView1->redraw(); });
}

void EmailList::showCounts(NumberedHandler& h)
{
    h.step(170, [&] { RefreshCounts(false); });
    h.step(172, [&] { KeepChecks = false; });
    h.step(174, [&] { PaintWhite(*Label1); });
    h.step(176, [&] { PaintWhite(*Label2); });
}

CheckTarget EmailList::checkTarget(platform::MessageBoxes& boxes)
{
    return CheckTarget{*ListView1, KeepChecks, [this](bool reset) { RefreshCounts(reset); }, boxes};
}

void EmailList::AddListColumns(NumberedHandler& h)
{
    static const std::array<int, 6> widths{1300, 1300, 1600, 1600, 1600, 0};
    for (int i = 0; i < 6; ++i)
        h.step(130 + 2 * i, [&] { ListView1->addColumn(ListColumnTitles[i], ListColumnFields[i]); });
    for (int i = 0; i < 6; ++i)
        h.step(142 + 2 * i, [&] { ListView1->setColumnWidth(i + 1, widths[i]); });
}

}  // namespace tallyhive
