#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

// Lets GoogleTest print Qt texts readably in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& texts, std::ostream* out) { *out << '[' << texts.join(u'|').toStdString() << ']'; }
