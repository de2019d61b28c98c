#pragma once

#include <QString>

#include <stdexcept>

namespace tallyhive {

// The one error type. Raised where a step fails for a reason the user should
// read; stopped by the numbered-step mechanism, which shows its description.
class AppError : public std::runtime_error {
public:
    explicit AppError(const QString& description) : std::runtime_error(description.toStdString()) {}
    QString description() const { return QString::fromStdString(what()); }
};

// The description of the exception being handled (call inside a catch block).
inline QString describeCurrentException()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

}  // namespace tallyhive
