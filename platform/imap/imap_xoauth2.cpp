#include "platform/imap/imap_client.h"

#include "platform/imap/imap_client_call.h"
#include "platform/imap/imap_fetch_items.h"

#include <algorithm>

namespace tallyhive::platform {

int ImapClient::authenticateXoauth2(const QString& user, AccessTokenSource tokens)
{
    Call call(*this, QStringLiteral("authenticateXoauth2"));
    if (!call.ok())
        return 0;
    const int status = signInWithTokens(user, tokens);
    if (status == 1) {
        // A reconnect asks the same source, which never opens a browser.
        signInAgain_ = [this, user, tokens] { return signInWithTokens(user, tokens); };
    }
    return status;
}

// Outlook.com takes the token of a mailbox it does not serve (IMAP switched
// off, or none provisioned) and refuses whatever follows. Asking for the
// hierarchy delimiter, which needs the mailbox, finds that out while the
// sign-in can still say why.
int ImapClient::proveMailboxServed(const QString& operation)
{
    const auto probe = run(operation, {nextTag() + " LIST \"\" \"\"\r\n"});
    if (!probe)
        return 0;
    if (probe->ok())
        return 1;
    setError(QStringLiteral("%1 failed: the server took the token, then refused the next command: %2")
                 .arg(operation, lineText(probe->tagged.raw)));
    return kMailboxNotServed;
}

int ImapClient::signInWithTokens(const QString& user, const AccessTokenSource& tokens)
{
    const QString operation = QStringLiteral("authenticateXoauth2");
    const auto capability = run(operation, {nextTag() + " CAPABILITY\r\n"});
    if (!capability)
        return 0;
    bool initialResponse = false;
    for (const ImapResponse& response : capability->untagged) {
        if (response.data.empty() || !response.data[0].isAtom("CAPABILITY"))
            continue;
        initialResponse = std::any_of(response.data.begin(), response.data.end(),
                                      [](const ImapToken& name) { return name.isAtom("SASL-IR"); });
    }

    // Offers one token: true accepted, false refused, nothing when the
    // connection failed.
    const auto offer = [&](const QByteArray& payload) -> std::optional<bool> {
        const QByteArray tag = nextTag();
        transport_->write(tag + " AUTHENTICATE XOAUTH2" + (initialResponse ? ' ' + payload : QByteArray()) + "\r\n");
        bool payloadSent = initialResponse;
        Watch watch(*this);
        while (true) {
            auto response = awaitResponse(operation, watch, options_.readTimeoutMs);
            if (!response)
                return std::nullopt;
            if (response->kind == ImapResponse::Kind::Continuation) {
                // The first "+" asks for the token. One after it carries the
                // server's reasons for refusing and wants an empty line back
                // before the tagged NO.
                transport_->write(payloadSent ? QByteArray("\r\n") : payload + "\r\n");
                payloadSent = true;
                continue;
            }
            if (response->kind == ImapResponse::Kind::Tagged) {
                if (response->tag != tag) {
                    breakConnection(QStringLiteral("%1 failed: reply with a foreign tag: %2")
                                        .arg(operation, QString::fromUtf8(response->raw.trimmed())));
                    return std::nullopt;
                }
                Exchange exchange;
                exchange.tagged = std::move(*response);
                recordReply(operation, exchange);
                return exchange.ok();
            }
            noteUntagged(*response);
        }
    };

    for (int round = 0; round < 2; ++round) {
        const QString token = tokens(round > 0);
        if (token.isEmpty()) {
            setError(QStringLiteral("%1 failed: no access token could be had").arg(operation));
            return kTokenRefused;
        }
        // Fetching the token lets events run; the connection may be gone since.
        if (!connected() || !unusableReason_.isEmpty()) {
            setError(QStringLiteral("%1 failed: the connection was lost while the token was fetched").arg(operation));
            return 0;
        }
        const QByteArray payload = ("user=" + user.toUtf8() + "\x01" "auth=Bearer " + token.toUtf8() + "\x01\x01").toBase64();
        keepSecret(QString::fromLatin1(payload));
        keepSecret(token);
        const auto accepted = offer(payload);
        if (!accepted)
            return 0;
        noteSignedIn(*accepted);
        if (*accepted)
            return proveMailboxServed(operation);
    }
    return kTokenRefused;
}

}  // namespace tallyhive::platform
