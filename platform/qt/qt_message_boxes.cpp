#include "platform/qt/qt_message_boxes.h"

#include "platform/qt/microsoft_setup_dialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace tallyhive::platform {

namespace {

constexpr int kMinimumBoxWidth = 300;
constexpr int kFrameButtonsWidth = 160;

// Texts carry the words of servers and of the sign-in service: shown as
// they are, never as markup or links, and selectable for copying.
void fill(QMessageBox& box, const QString& text, const QString& title)
{
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

// A busy pointer set by the running command must not hide a box's buttons.
template <typename Run>
auto withArrowPointer(Run run)
{
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const auto result = run();
    QApplication::restoreOverrideCursor();
    return result;
}

// A window manager cuts a title wider than its box: a "Done." box came out
// about 100 pixels wide with its "Tallyhive" cut short. The box keeps room
// for the title in a bold face and for the frame's buttons beside it. Called
// last, since setting the icon lays the box out anew.
void keepTitleWhole(QMessageBox& box, const QString& title)
{
    QFont bold = box.font();
    bold.setBold(true);
    const int width = std::max(kMinimumBoxWidth, QFontMetrics(bold).horizontalAdvance(title) + kFrameButtonsWidth);
    // A message box sizes itself from its layout and ignores a minimum size.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0), grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

void QtMessageBoxes::show(const QString& text, const QString& title, BoxIcon icon)
{
    QMessageBox box(owner_);
    fill(box, text, title);
    box.setIcon(icon == BoxIcon::Exclamation ? QMessageBox::Warning
                : icon == BoxIcon::Information ? QMessageBox::Information
                                               : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    keepTitleWhole(box, title);
    withArrowPointer([&] { return box.exec(); });
}

bool QtMessageBoxes::offer(const QString& text, const QString& title, const QString& action)
{
    QMessageBox box(owner_);
    fill(box, text, title);
    QPushButton* chosen = box.addButton(action, QMessageBox::ActionRole);
    box.setDefaultButton(box.addButton(QMessageBox::Ok));
    keepTitleWhole(box, title);
    withArrowPointer([&] { return box.exec(); });
    return box.clickedButton() == chosen;
}

std::optional<MicrosoftApplication> QtMessageBoxes::microsoftSetup(const MicrosoftApplication& proposed)
{
    MicrosoftSetupDialog dialog(proposed, openPage_, owner_);
    if (withArrowPointer([&] { return dialog.exec(); }) != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen();
}

std::optional<QString> QtMessageBoxes::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(owner_, title, prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

}  // namespace tallyhive::platform
