#pragma once

#include <QElapsedTimer>
#include <QProgressBar>

class QTimer;

namespace tallyhive {

// The progress bar that carries the status line. A fetch reports progress
// several times per message; the bar takes every value at once but paints at
// most every few tens of milliseconds, since a plain progress bar repaints on
// the spot at every change and that painting would cost more than the fetch.
class StatusProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit StatusProgressBar(QWidget* parent = nullptr);

    void setStatus(const QString& text);
    QString status() const { return status_; }
    void setPosition(int value);
    int position() const { return position_; }

private:
    void changed();
    void showLatest();

    QString status_;
    int position_ = 0;
    QTimer* pending_;
    QElapsedTimer sinceShown_;
};

}  // namespace tallyhive
