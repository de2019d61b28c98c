#include "platform/imap/imap_client.h"

#include "platform/imap/imap_client_call.h"
#include "platform/imap/imap_fetch_items.h"

#include <algorithm>

namespace tallyhive::platform {

MailResult ImapClient::authenticateXoauth2(const QString& user, AccessTokenSource tokens)
{
    Call call(*this, QStringLiteral("authenticateXoauth2"));
    if (!call.ok())
        return answer(MailStatus::Failed);
    const MailResult status = signInWithTokens(user, tokens);
    if (status.ok()) {
        // A reconnect asks the same source, which never opens a browser.
        opened_.signInAgain = [this, user, tokens] { return signInWithTokens(user, tokens); };
    }
    return status;
}

// Outlook.com takes the token of a mailbox it does not serve (IMAP switched
// off, or none provisioned) and refuses whatever follows. Asking for the
// hierarchy delimiter, which needs the mailbox, finds that out while the
// sign-in can still say why.
MailResult ImapClient::proveMailboxServed(const QString& operation)
{
    const auto probe = run(operation, {nextTag() + " LIST \"\" \"\"\r\n"});
    if (!probe)
        return answer(MailStatus::Failed);
    if (probe->ok())
        return answer(MailStatus::Ok);
    setError(QStringLiteral("%1 failed: the server took the token, then refused the next command: %2")
                 .arg(operation, lineText(probe->tagged.raw)));
    return answer(MailStatus::MailboxNotServed);
}

MailResult ImapClient::signInWithTokens(const QString& user, const AccessTokenSource& tokens)
{
    const QString operation = QStringLiteral("authenticateXoauth2");
    const auto capability = run(operation, {nextTag() + " CAPABILITY\r\n"});
    if (!capability)
        return answer(MailStatus::Failed);
    bool initialResponse = false;
    for (const ImapResponse& response : capability->untagged) {
        if (response.data.empty() || !response.data[0].isAtom("CAPABILITY"))
            continue;
        initialResponse = std::any_of(response.data.begin(), response.data.end(),
                                      [](const ImapToken& name) { return name.isAtom("SASL-IR"); });
    }
    for (int round = 0; round < 2; ++round) {
        const MailReply<QString> offered = tokens(round > 0);
        if (!offered.ok() || offered.value.isEmpty()) {
            setError(QStringLiteral("%1 failed: no access token could be had").arg(operation));
            return answer(MailStatus::TokenRefused);
        }
        const QString& token = offered.value;
        // Fetching the token lets events run; the connection may be gone since.
        if (!connected() || !unusableReason_.isEmpty()) {
            setError(QStringLiteral("%1 failed: the connection was lost while the token was fetched").arg(operation));
            return answer(MailStatus::Failed);
        }
        const QByteArray payload = ("user=" + user.toUtf8() + "\x01" "auth=Bearer " + token.toUtf8() + "\x01\x01").toBase64();
        keepSecret(QString::fromLatin1(payload));
        keepSecret(token);
        const auto accepted = offerToken(operation, payload, initialResponse);
        if (!accepted)
            return answer(MailStatus::Failed);
        noteSignedIn(*accepted);
        if (*accepted)
            return proveMailboxServed(operation);
    }
    return answer(MailStatus::TokenRefused);
}

std::optional<bool> ImapClient::offerToken(const QString& operation, const QByteArray& payload, bool initialResponse)
{
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
}

}  // namespace tallyhive::platform
