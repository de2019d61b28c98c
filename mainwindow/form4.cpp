#include "mainwindow/form4.h"

#include "app/locations.h"
#include "app/numbered_handler.h"
#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "app/window/window_prep.h"
#include "mainwindow/check_commands.h"
#include "mainwindow/chosen_columns.h"
#include "mainwindow/email_counts.h"
#include "mainwindow/form4_layout.h"
#include "mainwindow/list_columns.h"
#include "platform/qt/qt_list_view.h"

#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace tallyhive {
namespace {

// The window's inside at design, its restored size.
constexpr int InsideWidth = 8040;
constexpr int InsideHeight = 4470;
constexpr int ButtonHeight = 405;
constexpr int LabelHeight = 255;
constexpr int HalfWidth = 3840;
constexpr int FullWidth = 7800;

constexpr int LoadColumnWidths[] = {1300, 1600, 1600, 1600, 1600, 0};


}  // namespace

Form4::Form4(platform::ListView& mainList, platform::MessageBoxes& boxes, QWidget* owner)
    : QDialog(owner), mainList_(mainList), boxes_(boxes), pointer_(new WindowPointer(*this)),
      list_(new platform::QtListView(this)), label1_(new QLabel(texts::TotalEmails, this)),
      label2_(new QLabel(texts::SelectedEmails, this))
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(texts::LargerViewCaption);
    // A window manager offers a dialog no maximise: the view is a window of its own.
    setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    resize(twipsToPixels(InsideWidth), twipsToPixels(InsideHeight));
    setMinimumSize(size());

    list_->setObjectName(QStringLiteral("ListView1"));
    list_->setGeometry(twipsRect(120, 135, FullWidth, 1860));
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setGeometry(twipsRect(120, 2085, HalfWidth, LabelHeight));
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setGeometry(twipsRect(4080, 2085, HalfWidth, LabelHeight));
    checkAll_ = addButton("PushButton5", QStringLiteral("Check All"), 120, 2440, HalfWidth);
    uncheckAll_ = addButton("PushButton6", QStringLiteral("Uncheck All"), 4080, 2440, HalfWidth);
    checkContaining_ = addButton("PushButton9", QStringLiteral("Check Emails Containing..."), 120, 2950, HalfWidth);
    checkNotContaining_ =
        addButton("PushButton10", QStringLiteral("Check Emails Not Containing..."), 4080, 2950, HalfWidth);
    clearList_ = addButton("PushButton7", QStringLiteral("Clear List"), 120, 3460, FullWidth);
    back_ = addButton("PushButton4", QStringLiteral("< Back"), 120, 3970, FullWidth);

    setTabOrder(list_, checkAll_);
    setTabOrder(checkAll_, uncheckAll_);
    setTabOrder(uncheckAll_, back_);
    setTabOrder(back_, clearList_);
    setTabOrder(clearList_, checkContaining_);
    setTabOrder(checkContaining_, checkNotContaining_);

    connect(checkAll_, &QPushButton::clicked, this, &Form4::PushButton5_Click);
    connect(uncheckAll_, &QPushButton::clicked, this, &Form4::PushButton6_Click);
    connect(checkContaining_, &QPushButton::clicked, this, &Form4::PushButton9_Click);
    connect(checkNotContaining_, &QPushButton::clicked, this, &Form4::PushButton10_Click);
    connect(clearList_, &QPushButton::clicked, this, &Form4::PushButton7_Click);
    connect(back_, &QPushButton::clicked, this, &Form4::PushButton4_Click);
    list_->setItemCheckHandler([this](int) { refreshCounts(false); });
    pointer_->watch(list_);

    load();
}

Form4::~Form4() = default;

QPushButton* Form4::addButton(const char* name, const QString& caption, int left, int top, int width)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(twipsRect(left, top, width, ButtonHeight));
    button->setAutoDefault(false);
    pointer_->watch(button);
    return button;
}

void Form4::load()
{
    NumberedHandler handler(boxes_, locations::Form4Load);
    handler.step(0, [&] { ApplyFaceColours(*this); });
    handler.step(104, [&] { CentreOnScreen(*this); });
    handler.step(106, [&] { ApplyProgramIcon(*this); });
    const QString cursorFile = QDir(programFolder()).filePath(texts::CursorFile);
    if (handler.test(108, [&] { return FileExists(cursorFile); }))
        handler.step(110, [&] { pointer_->loadCustom(cursorFile); });
    for (int column = 0; column < 6; ++column)
        handler.step(146 + 2 * column, [&] { list_->addColumn(ListColumnTitles[column], ListColumnFields[column]); });
    for (int column = 0; column < 6; ++column)
        handler.step(158 + 2 * column, [&] { list_->setColumnWidth(column + 1, LoadColumnWidths[column]); });
    showExtraColumns(*list_, shownExtraFields(mainList_));
    handler.step(170, [&] { list_->removeAllRows(); });
    handler.step(172, [&] { list_->redraw(); });
    handler.step(200, [&] { refreshCounts(false); });
    handler.step(202, [&] { keepChecks_ = false; });
    handler.step(204, [&] { PaintWhite(*label1_); });
    handler.step(206, [&] { PaintWhite(*label2_); });
}

platform::QtListView& Form4::listView() const { return *list_; }

QLabel& Form4::totalLabel() const { return *label1_; }

QLabel& Form4::selectedLabel() const { return *label2_; }

bool Form4::keepChecks() const { return keepChecks_; }

void Form4::refreshCounts(bool reset) { RefreshCounts(*list_, *label1_, *label2_, reset); }

void Form4::PushButton4_Click()
{
    NumberedHandler handler(boxes_, locations::Form4Back);
    handler.step(100, [&] { close(); });
}

void Form4::PushButton5_Click()
{
    CheckAll({*list_, keepChecks_, [this](bool reset) { refreshCounts(reset); }, boxes_}, locations::Form4CheckAll,
             LargerViewCheckAllLines);
}

void Form4::PushButton6_Click()
{
    UncheckAll({*list_, keepChecks_, [this](bool reset) { refreshCounts(reset); }, boxes_},
               locations::Form4UncheckAll);
}

void Form4::PushButton7_Click()
{
    ClearList({*list_, keepChecks_, [this](bool reset) { refreshCounts(reset); }, boxes_}, locations::Form4ClearList,
              LargerViewClearListLines, &mainList_);
}

void Form4::PushButton9_Click()
{
    CheckByText({*list_, keepChecks_, [this](bool reset) { refreshCounts(reset); }, boxes_},
                locations::Form4CheckContaining, TextMatch::Containing);
}

void Form4::PushButton10_Click()
{
    CheckByText({*list_, keepChecks_, [this](bool reset) { refreshCounts(reset); }, boxes_},
                locations::Form4CheckNotContaining, TextMatch::NotContaining);
}

void Form4::done(int result)
{
    carryMarksBack();
    QDialog::done(result);
}

void Form4::closeEvent(QCloseEvent* event)
{
    carryMarksBack();
    QDialog::closeEvent(event);
}

void Form4::carryMarksBack()
{
    if (marksCarriedBack_)
        return;
    marksCarriedBack_ = true;
    // Both lists hold the same rows in the same order; should the main list
    // somehow be shorter, the rows it lacks have nowhere to go.
    const int rows = std::min(list_->rowCount(), mainList_.rowCount());
    for (int row = 1; row <= rows; ++row)
        mainList_.setChecked(row, list_->isChecked(row));
}

void Form4::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    placeControls();
    refreshCounts(false);
}

void Form4::placeControls()
{
    const QSize outer = frameGeometry().size();
    const Form4Layout layout = layoutForm4(pixelsToTwips(outer.width()), pixelsToTwips(outer.height()));
    list_->resize(twipsToPixels(layout.listWidth), twipsToPixels(layout.listHeight));
    for (int column = 1; column <= std::min(list_->columnCount(), 6); ++column)
        list_->setColumnWidth(column, layout.columnWidths[static_cast<size_t>(column - 1)]);
    const auto place = [](QWidget& control, Form4Layout::Place at) {
        control.move(twipsToPixels(at.left), twipsToPixels(at.top));
    };
    place(*label1_, layout.label1);
    place(*label2_, layout.label2);
    place(*checkAll_, layout.checkAll);
    place(*uncheckAll_, layout.uncheckAll);
    place(*checkContaining_, layout.checkContaining);
    place(*checkNotContaining_, layout.checkNotContaining);
    place(*clearList_, layout.clearList);
    place(*back_, layout.back);
}

}  // namespace tallyhive
