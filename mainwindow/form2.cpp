#include "mainwindow/form2.h"

#include "app/locations.h"
#include "app/numbered_handler.h"
#include "app/numbers.h"
#include "app/pending_events.h"
#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "app/window/window_prep.h"
#include "interfaces/error.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace tallyhive {

Form2::Form2(platform::MessageBoxes& boxes, QWidget* owner) : QDialog(owner), boxes_(boxes)
{
    setWindowTitle(texts::GetSomeTitle);
    setFixedSize(twipsToPixels(4215), twipsToPixels(2100));
    Label1[0] = new QLabel(texts::FromLabel, this);
    Label1[0]->setGeometry(twipsRect(540, 360, 1515, 255));
    Text1[0] = new QLineEdit(QStringLiteral("1"), this);
    Text1[0]->setGeometry(twipsRect(540, 660, 1515, 345));
    Label1[1] = new QLabel(this);
    Label1[1]->setGeometry(twipsRect(2160, 360, 1800, 255));
    Text1[1] = new QLineEdit(this);
    Text1[1]->setGeometry(twipsRect(2160, 660, 1515, 345));
    PushButton1 = new QPushButton(texts::ContinueCaption, this);
    PushButton1->setGeometry(twipsRect(540, 1320, 3135, 400));
    // The plain button answers the Enter key with the same action. It cannot
    // be seen, so Tab passes it by.
    Command1 = new QPushButton(texts::ContinueCaption, this);
    Command1->setDefault(true);
    Command1->setFixedSize(0, 0);
    Command1->setFocusPolicy(Qt::NoFocus);
    connect(PushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(Command1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
}

void Form2::Form_Load()
{
    ApplyFaceColours(*this);
    ApplyProgramIcon(*this);
    CentreOnScreen(*this);
    auto* pointer = new WindowPointer(*this);
    for (QWidget* control : findChildren<QWidget*>())
        pointer->watch(control);
    const QString cursorFile = QDir(programFolder()).filePath(texts::CursorFile);
    // The dialog opens inside "2b. Get Some Emails", which a broken cursor
    // file must not stop: the standard pointer serves then.
    if (FileExists(cursorFile))
        pointer->tryLoadCustom(cursorFile);
    range_.reset();
    Text1[1]->setText(QString::number(MaxMessage));
    Label1[1]->setText(texts::ToMaxOf + QString::number(MaxMessage) + u')');
    setTabOrder(Text1[1], Text1[0]);
    setTabOrder(Text1[0], PushButton1);
    Text1[1]->setFocus();
    Text1[1]->setSelection(0, static_cast<int>(Text1[1]->text().size()));
}

void Form2::PushButton1_Click()
{
    NumberedHandler h(boxes_, locations::RangeContinue);
    h.step(100, [] { letPendingEventsRun(); });
    double first = 0;
    double last = 0;
    h.step(102, [&] { first = leadingNumber(Text1[0]->text()); });
    if (h.test(104, [&] { return !(first > 0); })) {
        h.step(106, [&] { boxes_.show(texts::ValueAboveZero, texts::AppTitle, platform::BoxIcon::None); });
        return;
    }
    h.step(108, [&] { last = leadingNumber(Text1[1]->text()); });
    if (h.test(110, [&] { return !(last > 0) || last > MaxMessage; })) {
        h.step(112, [&] {
            boxes_.show(texts::MaxValueRange + QString::number(MaxMessage), texts::AppTitle, platform::BoxIcon::None);
        });
        return;
    }
    h.step(114, [&] {
        if (!ChilkatIMAP)
            throw AppError(texts::ObjectNotSet);
        // A first number beyond the last fetches nothing however large it is;
        // capping it keeps it a valid message number.
        range_ = MessageRange{static_cast<int>(roundHalfEven(std::min(first, MaxMessage + 1.0))), static_cast<int>(roundHalfEven(last))};
    });
    h.step(118, [&] { accept(); });
}

}  // namespace tallyhive
