#include "platform/mailbox/message_converter.h"

#include "platform/mime/mime_message.h"

#include <chrono>

namespace tallyhive::platform {

MessageConverter::MessageConverter() : thread_([this] { work(); }) {}

MessageConverter::~MessageConverter()
{
    {
        std::lock_guard lock(guard_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void MessageConverter::submit(qint64 number, QByteArray bytes, QDateTime internalDate)
{
    {
        std::lock_guard lock(guard_);
        queuedBytes_ += bytes.size();
        jobs_.push_back({number, std::move(bytes), std::move(internalDate)});
    }
    changed_.notify_all();
}

MailMessage MessageConverter::take(qint64 number, const std::function<void()>& waiting)
{
    std::unique_lock lock(guard_);
    while (true) {
        if (const auto found = done_.find(number); found != done_.end()) {
            MailMessage message = std::move(found->second);
            done_.erase(found);
            return message;
        }
        if (changed_.wait_for(lock, std::chrono::milliseconds(10)) == std::cv_status::timeout && waiting) {
            lock.unlock();
            waiting();
            lock.lock();
        }
    }
}

void MessageConverter::clear()
{
    std::lock_guard lock(guard_);
    jobs_.clear();
    done_.clear();
    queuedBytes_ = 0;
    ++generation_;
}

size_t MessageConverter::queued() const
{
    std::lock_guard lock(guard_);
    return jobs_.size();
}

qint64 MessageConverter::queuedBytes() const
{
    std::lock_guard lock(guard_);
    return queuedBytes_;
}

void MessageConverter::work()
{
    std::unique_lock lock(guard_);
    while (true) {
        changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (stopping_)
            return;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        queuedBytes_ -= job.bytes.size();
        const quint64 generation = generation_;
        lock.unlock();
        MailMessage message = messageFromBytes(std::move(job.bytes), job.internalDate);
        lock.lock();
        if (generation == generation_)
            done_[job.number] = std::move(message);
        changed_.notify_all();
    }
}

}  // namespace tallyhive::platform
