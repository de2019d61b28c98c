#include "mainwindow/one_click.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>

namespace tallyhive {
namespace {

// The second press of a double click comes as a double-click event, and
// may come as a press too; without a press the release that follows finds
// the button up and clicks nothing.
class SecondPressFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick)
            return true;
        if (event->type() != QEvent::MouseButtonPress)
            return false;
        const quint64 at = static_cast<const QMouseEvent*>(event)->timestamp();
        const auto interval = static_cast<quint64>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
        const bool second = pressed_ && at >= lastPress_ && at - lastPress_ < interval;
        pressed_ = true;
        lastPress_ = at;
        return second;
    }

private:
    bool pressed_ = false;
    quint64 lastPress_ = 0;
};

}  // namespace

void takeDoubleClickAsOne(QAbstractButton* button) { button->installEventFilter(new SecondPressFilter(button)); }

}  // namespace tallyhive
