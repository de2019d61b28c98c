#pragma once

#include "packing/packed_text.h"

#include <QDateTime>
#include <QString>

namespace tallyhive {

// One message, from its conversion to the list row that shows it, the
// larger view, the check commands, the filter and the sheet. It holds plain
// values only, so it can be moved along and stored as it stands. Every field
// has its default, so a record can be written down with its first fields only.
struct EmailRecord {
    QString s_From{};          // the From header as written, display name and address together
    QString s_FromName{};      // decoded display name; empty when the header has none
    QString s_FromAddress{};   // the bare address
    QString s_Subject{};       // decoded
    QString s_ReceivedDate{};  // receivedAt as general date text; the mail layer writes it
    PackedText s_PlainText{};  // first inline text/plain part
    PackedText s_HTMLText{};   // first inline text/html part, packed beside s_PlainText
    QDateTime receivedAt{};    // local time; never invalid (falls back to the server's arrival date)
    // Converting the message would have taken time or memory out of all
    // proportion to its size: s_PlainText is its raw text, the rest is empty.
    bool keptAsRawText = false;

    // The text the list shows in column 1 to 5 (From, From Name, From
    // Address, Subject, Received Date); empty for other columns.
    const QString& columnText(int column) const
    {
        static const QString none;
        switch (column) {
        case 1: return s_From;
        case 2: return s_FromName;
        case 3: return s_FromAddress;
        case 4: return s_Subject;
        case 5: return s_ReceivedDate;
        default: return none;
        }
    }
};

}  // namespace tallyhive
