#include "mainwindow/check_buttons.h"

#include "app/locations.h"
#include "app/window/window_prep.h"
#include "mainwindow/check_commands.h"
#include "mainwindow/email_list.h"
#include "mainwindow/form4_opening.h"

#include <QPushButton>

namespace tallyhive {
namespace {

QPushButton* newButton(QWidget* face, const char* name, const QString& caption, const QRect& place)
{
    auto* button = new QPushButton(caption, face);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    return button;
}

}  // namespace

CheckButtons::CheckButtons(QWidget* face, WindowParts& window, QObject* parent)
    : QObject(parent), window_(window)
{
    PushButton5 = newButton(face, "PushButton5", QStringLiteral("Check All"), twipsRect(120, 7230, 3840, 405));
    PushButton6 = newButton(face, "PushButton6", QStringLiteral("Uncheck All"), twipsRect(4080, 7230, 3840, 405));
    PushButton9 = newButton(face, "PushButton9", QStringLiteral("Check Emails Containing..."), twipsRect(120, 7740, 3840, 405));
    PushButton10 = newButton(face, "PushButton10", QStringLiteral("Check Emails Not Containing..."),
                             twipsRect(4080, 7740, 3840, 405));
    PushButton7 = newButton(face, "PushButton7", QStringLiteral("Clear List"), twipsRect(120, 8250, 3840, 405));
    PushButton8 = newButton(face, "PushButton8", QStringLiteral("Show List In Larger View"), twipsRect(4080, 8250, 3840, 405));

    connect(PushButton5, &QPushButton::clicked, this, &CheckButtons::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &CheckButtons::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &CheckButtons::PushButton7_Click);
    connect(PushButton8, &QPushButton::clicked, this, &CheckButtons::PushButton8_Click);
    connect(PushButton9, &QPushButton::clicked, this, &CheckButtons::PushButton9_Click);
    connect(PushButton10, &QPushButton::clicked, this, &CheckButtons::PushButton10_Click);
}

CheckTarget CheckButtons::target() const { return window_.list->checkTarget(window_.services.boxes); }

void CheckButtons::PushButton5_Click() { CheckAll(target(), locations::CheckAll, MainCheckAllLines); }

void CheckButtons::PushButton6_Click() { UncheckAll(target(), locations::UncheckAll); }

void CheckButtons::PushButton7_Click()
{
    ClearList(target(), locations::ClearList, MainClearListLines);
}

void CheckButtons::PushButton8_Click()
{
    ShowListInLargerView(window_.list->view(), window_.services.boxes, [this](bool reset) { window_.list->RefreshCounts(reset); }, PushButton8->window());
}

void CheckButtons::PushButton9_Click()
{
    CheckByText(target(), locations::CheckContaining, TextMatch::Containing);
}

void CheckButtons::PushButton10_Click()
{
    CheckByText(target(), locations::CheckNotContaining, TextMatch::NotContaining);
}

}  // namespace tallyhive
