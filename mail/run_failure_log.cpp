#include "mail/run_failure_log.h"

#include "app/error_log.h"

namespace tallyhive {
namespace {

// "fetch 812 failed: A90 NO gone" and "fetch 813 failed: A91 NO gone" are one cause.
QString causeOf(const QString& text)
{
    QString cause;
    cause.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text[i].isDigit())
            cause += text[i];
        else if (i == 0 || !text[i - 1].isDigit())
            cause += u'#';
    }
    return cause;
}

}  // namespace

void RunFailureLog::append(const QString& text)
{
    QString key = causeOf(text);
    if (!causes_.count(key) && causes_.size() >= kCauses)
        key.clear();
    Cause& cause = causes_[key];
    if (cause.written < kEntriesPerCause) {
        ++cause.written;
        appendErrorLogEntry(text);
        return;
    }
    if (cause.leftOut++ == 0)
        cause.example = text;
}

RunFailureLog::~RunFailureLog()
{
    for (const auto& [key, cause] : causes_) {
        if (cause.leftOut > 0)
            appendErrorLogEntry(QStringLiteral("%1 more entries like this were left out of the log: %2").arg(cause.leftOut).arg(cause.example));
    }
}

}  // namespace tallyhive
