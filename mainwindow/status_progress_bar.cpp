#include "mainwindow/status_progress_bar.h"

#include <QTimer>

namespace tallyhive {
namespace {
constexpr int RepaintIntervalMs = 40;
}

StatusProgressBar::StatusProgressBar(QWidget* parent) : QProgressBar(parent), pending_(new QTimer(this))
{
    pending_->setSingleShot(true);
    connect(pending_, &QTimer::timeout, this, &StatusProgressBar::showLatest);
}

void StatusProgressBar::setStatus(const QString& text)
{
    status_ = text;
    changed();
}

void StatusProgressBar::setPosition(int value)
{
    position_ = value;
    changed();
}

void StatusProgressBar::changed()
{
    if (!sinceShown_.isValid() || sinceShown_.hasExpired(RepaintIntervalMs))
        showLatest();
    else if (!pending_->isActive())
        pending_->start(RepaintIntervalMs);
}

void StatusProgressBar::showLatest()
{
    pending_->stop();
    sinceShown_.start();
    setFormat(status_);
    setValue(std::clamp(position_, minimum(), maximum()));
}

}  // namespace tallyhive
