#include "platform/imap/imap_command.h"

namespace tallyhive::platform {

ImapCommandBuilder::ImapCommandBuilder(QByteArrayView tag, QByteArrayView verb)
{
    pieces_.push_back(tag.toByteArray() + ' ' + verb.toByteArray());
}

ImapCommandBuilder& ImapCommandBuilder::atom(QByteArrayView text)
{
    pieces_.back() += ' ' + text.toByteArray();
    return *this;
}

ImapCommandBuilder& ImapCommandBuilder::string(QByteArrayView bytes)
{
    if (quotable(bytes)) {
        pieces_.back() += ' ' + quoted(bytes);
    } else {
        pieces_.back() += " {" + QByteArray::number(bytes.size()) + "}\r\n";
        pieces_.push_back(bytes.toByteArray());
    }
    return *this;
}

std::vector<QByteArray> ImapCommandBuilder::pieces() const
{
    std::vector<QByteArray> result = pieces_;
    result.back() += "\r\n";
    return result;
}

bool ImapCommandBuilder::quotable(QByteArrayView bytes)
{
    for (const char c : bytes) {
        const auto u = static_cast<uchar>(c);
        if (u < 0x20 || u >= 0x7f || c == '"' || c == '\\')
            return false;
    }
    return true;
}

QByteArray ImapCommandBuilder::quoted(QByteArrayView bytes)
{
    QByteArray text = "\"";
    for (const char c : bytes) {
        if (c == '"' || c == '\\')
            text += '\\';
        text += c;
    }
    return text + '"';
}

}  // namespace tallyhive::platform
