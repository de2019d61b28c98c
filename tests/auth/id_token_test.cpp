// The signed-in address read from an ID token: only a plain address that
// can go into the XOAUTH2 line as it is.
#include "auth/id_token.h"
#include "auth/token_reply.h"

#include <QByteArray>

#include <gtest/gtest.h>

using namespace tallyhive;

namespace {

QString tokenWithClaims(const QByteArray& claims)
{
    const auto part = [](const QByteArray& text) {
        return text.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    };
    return QString::fromLatin1(part(R"({"alg":"RS256"})") + '.' + part(claims) + ".c2lnbmF0dXJl");
}

TEST(IdTokenTest, TheAddressComesFromEmailElsePreferredUsername)
{
    struct Case {
        QString token;
        const char* address;
    };
    const Case cases[] = {
        {tokenWithClaims(R"({"email":"Alias@Outlook.com","preferred_username":"live@hotmail.com"})"), "Alias@Outlook.com"},
        {tokenWithClaims(R"({"preferred_username":" live@hotmail.com "})"), "live@hotmail.com"},
        {tokenWithClaims(R"({"email":"not-an-address","preferred_username":"live@hotmail.com"})"), "live@hotmail.com"},
        // Anything that would change the XOAUTH2 line is no address.
        {tokenWithClaims("{\"email\":\"a\\u0001auth=Bearer x@example.org\"}"), ""},
        {tokenWithClaims(R"({"email":"two words@example.org"})"), ""},
        {tokenWithClaims(R"({"email":"a@b@example.org"})"), ""},
        {tokenWithClaims(R"({"email":"@example.org"})"), ""},
        {tokenWithClaims(R"({"email":42})"), ""},
        {tokenWithClaims("not json"), ""},
        {QStringLiteral("no-dots-at-all"), ""},
        {QStringLiteral("a.b"), ""},
        {QStringLiteral("e30.!!!.c2ln"), ""},
        {tokenWithClaims(R"({"email":"x@example.org"})") + QString(70 * 1024, u'a'), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(auth::idTokenAddress(c.token), QString::fromLatin1(c.address)) << qPrintable(c.token.left(200));
}

TEST(IdTokenTest, ATokenAnswerCarriesTheMailboxAndRefusesWhatIsNoAnswer)
{
    const QByteArray idToken = tokenWithClaims(R"({"email":"second@example.net"})").toLatin1();
    struct Case {
        int status;
        QByteArray body;
        auth::TokenReply::Kind kind;
        const char* detail;
        const char* mailbox;
    };
    const Case cases[] = {
        {200, R"({"access_token":"at","refresh_token":"rt","expires_in":"3600","id_token":")" + idToken + "\"}",
         auth::TokenReply::Kind::Tokens, "", "second@example.net"},
        {200, R"({"access_token":"at"})", auth::TokenReply::Kind::Tokens, "", ""},
        {400, R"({"error":"invalid_grant","error_description":"AADSTS70008: expired"})", auth::TokenReply::Kind::Refused,
         "AADSTS70008: expired", ""},
        {302, "", auth::TokenReply::Kind::Unexpected, "HTTP 302", ""},
        {200, "<html>at</html>", auth::TokenReply::Kind::Unexpected, "HTTP 200", ""},
        {200, R"(["access_token"])", auth::TokenReply::Kind::Unexpected, "HTTP 200", ""},
        {500, R"({"access_token":"at"})", auth::TokenReply::Kind::Unexpected, "HTTP 500, no token", ""},
        {200, R"({"access_token":)" + QByteArray("\"") + QByteArray(65 * 1024, 'a') + "\"}", auth::TokenReply::Kind::Unexpected,
         "HTTP 200, a token larger than 64 KB", ""},
    };
    for (const Case& c : cases) {
        const auth::TokenReply reply = auth::parseTokenReply(c.status, c.body);
        EXPECT_EQ(reply.kind, c.kind) << c.body.left(100).constData();
        EXPECT_EQ(reply.kind == auth::TokenReply::Kind::Tokens ? QString() : reply.detail(), QString::fromLatin1(c.detail));
        EXPECT_EQ(reply.mailbox, QString::fromLatin1(c.mailbox));
    }
}

}  // namespace
