#pragma once

#include <QString>

#include <QtGlobal>

// How the program reads numbers and truth values out of text.
namespace tallyhive {

// Nearest whole number, halves to the even neighbour.
qint64 roundHalfEven(double value);

// A decimal text taken to the nearest 32-bit whole number; throws AppError
// ("Type mismatch", "Overflow") when it is not one.
int readInteger(const QString& text);

// True or False in any letter case, or a number (non-zero is true); throws
// AppError for anything else, the empty text included.
bool readBoolean(const QString& text);
QString booleanText(bool value);

// The number a text begins with (blanks skipped); 0 when it begins with none.
double leadingNumber(const QString& text);

}  // namespace tallyhive
