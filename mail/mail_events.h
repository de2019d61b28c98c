#pragma once

#include <QString>

namespace tallyhive {

// The values of one MailExtractListing event, in the event's order.
struct MailListing {
    QString From;
    QString FromName;
    QString FromAddress;
    QString Subject;
    QString ReceivedDate;  // general date text
    QString PlainTextBody;
    QString HTMLTextBody;
    int uID = 0;           // sequence number in the folder, not the server's UID
};

}  // namespace tallyhive
