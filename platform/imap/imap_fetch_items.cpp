#include "platform/imap/imap_fetch_items.h"

namespace tallyhive::platform {

QString lineText(const QByteArray& raw)
{
    QByteArray line = raw;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

const ImapToken* fetchItem(const ImapResponse& response, QByteArrayView name)
{
    if (response.data.size() < 3 || !response.data[2].isList())
        return nullptr;
    const auto& items = response.data[2].children;
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        if (items[i].isAtom(name))
            return &items[i + 1];
    }
    return nullptr;
}

bool isFetch(const ImapResponse& response)
{
    return response.kind == ImapResponse::Kind::Untagged && response.data.size() >= 3 && response.data[1].isAtom("FETCH");
}

std::optional<qint64> numberOf(const ImapToken* token)
{
    if (!token || token->type != ImapToken::Type::Atom)
        return std::nullopt;
    bool ok = false;
    const qint64 number = token->value.toLongLong(&ok);
    return ok && number >= 0 ? std::optional<qint64>(number) : std::nullopt;
}

qint64 bodyBytes(const ImapResponse& response)
{
    const ImapToken* body = isFetch(response) ? fetchItem(response, "BODY[]") : nullptr;
    return body && body->isString() ? body->value.size() : 0;
}

}  // namespace tallyhive::platform
