#include "app/numbers.h"

#include "interfaces/error.h"

#include <cmath>
#include <optional>
#include <limits>

namespace tallyhive {
namespace {

std::optional<double> decimal(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace

qint64 roundHalfEven(double value)
{
    // The default floating-point rounding mode is to nearest, ties to even.
    return static_cast<qint64>(std::nearbyint(value));
}

int readInteger(const QString& text)
{
    const auto value = decimal(text);
    if (!value)
        throw AppError(QStringLiteral("Type mismatch"));
    const double rounded = std::nearbyint(*value);
    if (rounded < std::numeric_limits<int>::min() || rounded > std::numeric_limits<int>::max())
        throw AppError(QStringLiteral("Overflow"));
    return static_cast<int>(rounded);
}

bool readBoolean(const QString& text)
{
    const QString word = text.trimmed();
    if (word.compare(u"true", Qt::CaseInsensitive) == 0)
        return true;
    if (word.compare(u"false", Qt::CaseInsensitive) == 0)
        return false;
    const auto value = decimal(word);
    if (!value)
        throw AppError(QStringLiteral("Type mismatch"));
    return *value != 0.0;
}

QString booleanText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

double leadingNumber(const QString& text)
{
    QString digits;
    bool seenDigit = false, seenPoint = false, seenExponent = false;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t')
            continue;
        if (c.isDigit() && c.unicode() < 128) {
            digits += c;
            seenDigit = true;
        } else if ((c == u'-' || c == u'+') && (digits.isEmpty() || digits.endsWith(u'e'))) {
            digits += c;
        } else if (c == u'.' && !seenPoint && !seenExponent) {
            digits += c;
            seenPoint = true;
        } else if ((c == u'e' || c == u'E') && seenDigit && !seenExponent) {
            digits += u'e';
            seenExponent = true;
        } else {
            break;
        }
    }
    while (!digits.isEmpty() && !digits.back().isDigit() && digits.back() != u'.')
        digits.chop(1);
    bool ok = false;
    const double value = digits.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

}  // namespace tallyhive
