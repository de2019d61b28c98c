#pragma once

#include <QString>

#include <array>

namespace tallyhive {

// The titles of the email list's columns, in order, for the main list and the
// larger view alike; the sixth holds the hidden received-day number.
inline const std::array<QString, 6> ListColumnTitles{QStringLiteral("From"),         QStringLiteral("From Name"),
                                                     QStringLiteral("From Address"), QStringLiteral("Subject"),
                                                     QStringLiteral("Received Date"), QStringLiteral("RecDate")};

}  // namespace tallyhive
