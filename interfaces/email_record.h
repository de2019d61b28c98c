#pragma once

#include "packing/packed_text.h"

#include <QDateTime>
#include <QString>

#include <array>

namespace tallyhive {

// What a list column shows of a record: the six columns the list always
// has, in their order, then those the user may choose.
enum class RecordField { From, FromName, FromAddress, Subject, ReceivedDate, DayNumber, To, Cc, Size, MessageId, Attachments, Folder };

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
    // What people who audit mail ask for beyond the sender, the subject and
    // the date; shown and exported only in the columns the user chose.
    QString to{};           // the To header, decoded
    QString cc{};           // the Cc header, decoded
    QString messageId{};    // the Message-ID header as written, unfolded
    QString attachments{};  // the attached files' names, joined by "; "
    QString folder{};       // the folder the message was read from; the mail layer writes it
    qint64 size = 0;        // the message's bytes, as the server keeps them

    // Its texts of a line or so that the conversion makes, in the order the
    // store keeps them; for a const record, pointers to const.
    template <typename Record>
    static auto shortTextsOf(Record& record)
    {
        return std::array{&record.s_From, &record.s_FromName, &record.s_FromAddress, &record.s_Subject,
                          &record.to,     &record.cc,       &record.messageId,   &record.attachments};
    }

    // The text a column of the field shows; empty for the day number, which
    // the list reckons from receivedAt.
    QString fieldText(RecordField field) const
    {
        switch (field) {
        case RecordField::From: return s_From;
        case RecordField::FromName: return s_FromName;
        case RecordField::FromAddress: return s_FromAddress;
        case RecordField::Subject: return s_Subject;
        case RecordField::ReceivedDate: return s_ReceivedDate;
        case RecordField::DayNumber: return {};
        case RecordField::To: return to;
        case RecordField::Cc: return cc;
        case RecordField::Size: return QString::number(size);
        case RecordField::MessageId: return messageId;
        case RecordField::Attachments: return attachments;
        case RecordField::Folder: return folder;
        }
        return {};
    }
};

}  // namespace tallyhive
