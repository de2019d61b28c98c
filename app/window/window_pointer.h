#pragma once

#include <QCursor>
#include <QObject>
#include <QSet>

class QWidget;

namespace tallyhive {

// One pointer for a whole window: the custom image over push buttons, the
// default arrow over everything else, neither while the window is busy
// (hourglass), except over the few buttons that always take the custom image.
class WindowPointer : public QObject {
    Q_OBJECT
public:
    explicit WindowPointer(QWidget& window);

    // Loads the custom image; throws AppError when the file cannot be read.
    void loadCustom(const QString& cursorFile);
    // The same, but a file that cannot be read leaves the custom image the
    // default arrow; false then.
    bool tryLoadCustom(const QString& cursorFile);
    void setBusy();
    void setDefault();
    bool isBusy() const;
    // Buttons that show the custom image even while busy.
    void alwaysCustomOver(QWidget* button);
    // Watch a control (and its children) for the pointer moving over it.
    void watch(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setShape(const QCursor& cursor);

    QWidget& window_;
    QCursor custom_;
    QCursor current_;
    QSet<QWidget*> alwaysCustom_;
};

}  // namespace tallyhive
