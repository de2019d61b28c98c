#pragma once

#include "interfaces/email_record.h"

#include <QString>

#include <array>

namespace tallyhive {

// The titles of the email list's columns, in order, for the main list and the
// larger view alike; the sixth holds the hidden received-day number.
inline const std::array<QString, 6> ListColumnTitles{QStringLiteral("From"),         QStringLiteral("From Name"),
                                                     QStringLiteral("From Address"), QStringLiteral("Subject"),
                                                     QStringLiteral("Received Date"), QStringLiteral("RecDate")};
// What each of those columns shows.
inline constexpr std::array<RecordField, 6> ListColumnFields{RecordField::From,         RecordField::FromName,
                                                            RecordField::FromAddress,  RecordField::Subject,
                                                            RecordField::ReceivedDate, RecordField::DayNumber};

}  // namespace tallyhive
