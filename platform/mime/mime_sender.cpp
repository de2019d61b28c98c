#include "platform/mime/mime_sender.h"

#include "platform/mime/mime_encoded_words.h"
#include "platform/mime/mime_gobject.h"
#include "platform/mime/mime_library.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace tallyhive::platform::mime {
namespace {

QString headerText(const char* decodedUtf8)
{
    return QString::fromUtf8(decodedUtf8).trimmed();
}

InternetAddressMailbox* firstMailbox(InternetAddressList* list)
{
    if (list == nullptr)
        return nullptr;
    for (int i = 0; i < internet_address_list_length(list); ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address))
            return INTERNET_ADDRESS_MAILBOX(address);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            if (InternetAddressMailbox* member = firstMailbox(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address))))
                return member;
        }
    }
    return nullptr;
}

// A From header the address parser gives up on may still name an address.
QString addressIn(const QString& text)
{
    static const QRegularExpression addressLike(QStringLiteral(R"([^\s<>"(),;:]+@[^\s<>"(),;:]+)"));
    return addressLike.match(text).captured();
}

// A bounce names its sender with an empty address ("MAILER DAEMON <>"), which
// the address parser rejects whole: the name before it, unquoted.
QString nameBeforeEmptyAddress(const QString& text)
{
    const QString trimmed = text.trimmed();
    const qsizetype open = trimmed.lastIndexOf(u'<');
    if (!trimmed.endsWith(u'>') || open < 0 || !trimmed.sliced(open + 1, trimmed.size() - open - 2).trimmed().isEmpty())
        return {};
    const QString name = trimmed.first(open).trimmed();
    if (name.size() < 2 || !name.startsWith(u'"') || !name.endsWith(u'"'))
        return name;
    // Inside the quotes a backslash makes the next character plain, a backslash too.
    QString unquoted;
    for (qsizetype i = 1; i < name.size() - 1; ++i) {
        if (name[i] == u'\\' && i + 1 < name.size() - 1)
            ++i;
        unquoted += name[i];
    }
    return unquoted.trimmed();
}

bool hasEightBitBytes(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
}

}  // namespace

void readSender(const QByteArray& rawFrom, GMimeMessage* message, const char* messageCharset, EmailRecord& result)
{
    result.s_From = decodeHeaderText(rawFrom, messageCharset).trimmed();
    // GMime's own reading of the header is right unless it had to join encoded
    // words, met a NUL byte or guessed the charset of raw 8-bit bytes.
    GOwned<InternetAddressList> reparsed;
    if (rawFrom.contains("=?") || rawFrom.contains('\0') || hasEightBitBytes(rawFrom)) {
        reparsed.reset(
            internet_address_list_parse(parserOptions(), withUtf8EncodedWords(rawFrom, messageCharset).constData()));
    }
    InternetAddressList* senders = reparsed ? reparsed.get() : g_mime_message_get_from(message);
    if (InternetAddressMailbox* mailbox = firstMailbox(senders)) {
        result.s_FromName = headerText(internet_address_get_name(INTERNET_ADDRESS(mailbox)));
        // A lone encoded word is a name without an address; GMime takes it for
        // the address and leaves it encoded.
        const char* address = internet_address_mailbox_get_addr(mailbox);
        result.s_FromAddress = std::strstr(address, "=?") != nullptr ? decodeHeaderText(address).trimmed()
                                                                    : headerText(address);
        return;
    }
    if (senders != nullptr && internet_address_list_length(senders) > 0)
        result.s_FromName = headerText(internet_address_get_name(internet_address_list_get_address(senders, 0)));
    else
        result.s_FromName = nameBeforeEmptyAddress(result.s_From);
    result.s_FromAddress = addressIn(result.s_From);
}

}  // namespace tallyhive::platform::mime
