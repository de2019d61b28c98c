#include "platform/qt/qt_message_boxes.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace tallyhive::platform {

void QtMessageBoxes::show(const QString& text, const QString& title, BoxIcon icon)
{
    QMessageBox box(owner_);
    box.setWindowTitle(title);
    // Texts carry the words of servers and of the sign-in service: shown as
    // they are, never as markup or links, and selectable for copying.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.setIcon(icon == BoxIcon::Exclamation ? QMessageBox::Warning
                : icon == BoxIcon::Information ? QMessageBox::Information
                                               : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    // A busy pointer set by the running command must not hide the box's button.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    QApplication::restoreOverrideCursor();
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
