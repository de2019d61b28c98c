#include "platform/qt/qt_message_boxes.h"

#include "platform/qt/microsoft_setup_dialog.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace tallyhive::platform {

namespace {

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

}  // namespace

void QtMessageBoxes::show(const QString& text, const QString& title, BoxIcon icon)
{
    QMessageBox box(owner_);
    fill(box, text, title);
    box.setIcon(icon == BoxIcon::Exclamation ? QMessageBox::Warning
                : icon == BoxIcon::Information ? QMessageBox::Information
                                               : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    withArrowPointer([&] { return box.exec(); });
}

bool QtMessageBoxes::offer(const QString& text, const QString& title, const QString& action)
{
    QMessageBox box(owner_);
    fill(box, text, title);
    QPushButton* chosen = box.addButton(action, QMessageBox::ActionRole);
    box.setDefaultButton(box.addButton(QMessageBox::Ok));
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
