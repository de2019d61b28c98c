#include "app/window/window_pointer.h"

#include "interfaces/error.h"

#include <QPushButton>
#include <QEvent>
#include <QPixmap>
#include <QWidget>

namespace tallyhive {

WindowPointer::WindowPointer(QWidget& window)
    : QObject(&window), window_(window), custom_(Qt::ArrowCursor), current_(Qt::ArrowCursor)
{
    watch(&window);
}

void WindowPointer::loadCustom(const QString& cursorFile)
{
    if (!tryLoadCustom(cursorFile))
        throw AppError(QStringLiteral("Invalid picture: %1").arg(cursorFile));
}

bool WindowPointer::tryLoadCustom(const QString& cursorFile)
{
    const QPixmap image(cursorFile);
    if (image.isNull())
        return false;
    custom_ = QCursor(image, 0, 0);
    return true;
}

void WindowPointer::setBusy() { setShape(QCursor(Qt::WaitCursor)); }

void WindowPointer::setDefault() { setShape(QCursor(Qt::ArrowCursor)); }

bool WindowPointer::isBusy() const { return current_.shape() == Qt::WaitCursor; }

void WindowPointer::alwaysCustomOver(QWidget* button) { alwaysCustom_.insert(button); }

void WindowPointer::watch(QWidget* control)
{
    control->setMouseTracking(true);
    control->installEventFilter(this);
}

bool WindowPointer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && alwaysCustom_.contains(widget))
            setShape(custom_);
        else if (!isBusy())
            setShape(qobject_cast<QPushButton*>(watched) ? custom_ : QCursor(Qt::ArrowCursor));
    }
    return QObject::eventFilter(watched, event);
}

void WindowPointer::setShape(const QCursor& cursor)
{
    current_ = cursor;
    window_.setCursor(cursor);
    for (QWidget* child : window_.findChildren<QWidget*>())
        child->setCursor(cursor);
}

}  // namespace tallyhive
