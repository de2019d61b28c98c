#include "platform/mailbox/message_converter.h"

#include "platform/mime/mime_message.h"

#include <algorithm>
#include <chrono>

namespace tallyhive::platform {

int MessageConverter::threadCount() { return std::clamp(static_cast<int>(std::thread::hardware_concurrency()) - 1, 2, 4); }

MessageConverter::MessageConverter()
{
    for (int i = threadCount(); i > 0; --i)
        threads_.emplace_back([this] { work(); });
}

MessageConverter::~MessageConverter()
{
    {
        std::lock_guard lock(guard_);
        stopping_ = true;
    }
    jobsChanged_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void MessageConverter::submit(qint64 number, QByteArray bytes, QDateTime internalDate)
{
    {
        std::lock_guard lock(guard_);
        queuedBytes_ += bytes.size();
        jobs_.push_back({number, std::move(bytes), std::move(internalDate)});
    }
    jobsChanged_.notify_one();
}

namespace {

// A caller such as the window keeps every record of a run. Kept where this
// thread made them, they would lie scattered through its heap between freed
// pieces of parsing, which then cannot go back to the system, and its
// allocations slow down as a long run goes on. Copies made on the caller's
// thread, exactly sized, lie together.
EmailRecord withValuesOfTheCallersOwn(EmailRecord message)
{
    for (QString* text : EmailRecord::shortTextsOf(message))
        *text = QString(text->constData(), text->size());
    message.s_PlainText = message.s_PlainText.copied();
    message.s_HTMLText = message.s_HTMLText.copied(&message.s_PlainText);
    return message;
}

}  // namespace

std::optional<EmailRecord> MessageConverter::take(qint64 number, const std::function<bool()>& keepWaiting)
{
    std::unique_lock lock(guard_);
    while (true) {
        if (const auto found = done_.find(number); found != done_.end()) {
            EmailRecord message = std::move(found->second);
            done_.erase(found);
            lock.unlock();
            return withValuesOfTheCallersOwn(std::move(message));
        }
        // A message neither queued nor in work never comes.
        const bool coming = inWork_.count(number) > 0
            || std::any_of(jobs_.begin(), jobs_.end(), [number](const Job& job) { return job.number == number; });
        if (!coming)
            return std::nullopt;
        awaited_ = number;
        const std::cv_status status = converted_.wait_for(lock, std::chrono::milliseconds(10));
        awaited_.reset();
        if (status == std::cv_status::timeout && keepWaiting) {
            lock.unlock();
            const bool wait = keepWaiting();
            lock.lock();
            if (!wait)
                return std::nullopt;
        }
    }
}

void MessageConverter::clear()
{
    std::lock_guard lock(guard_);
    jobs_.clear();
    done_.clear();
    queuedBytes_ = 0;
    inWork_.clear();  // stale work in progress is never handed out
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
        jobsChanged_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (stopping_)
            return;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        queuedBytes_ -= job.bytes.size();
        const quint64 generation = generation_;
        inWork_.insert(job.number);
        lock.unlock();
        EmailRecord message = messageFromBytes(std::move(job.bytes), job.internalDate);
        lock.lock();
        if (generation == generation_) {
            done_[job.number] = std::move(message);
            inWork_.erase(job.number);
        }
        if (awaited_ == job.number)
            converted_.notify_all();
    }
}

}  // namespace tallyhive::platform
