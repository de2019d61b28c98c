// The signed-in address read from an ID token: only a plain address that
// can go into the XOAUTH2 line as it is.
#include "auth/id_token.h"

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
        {tokenWithClaims(R"({"email":"mary~o@example.org"})"), "mary~o@example.org"},  // its payload has a "-" in base64url
        // Anything that would change the XOAUTH2 line is no address.
        {tokenWithClaims("{\"email\":\"a\\u0001auth=Bearer x@example.org\"}"), ""},
        {tokenWithClaims(R"({"email":"two words@example.org"})"), ""},
        {tokenWithClaims(R"({"email":"gro.elpmaxe@\u202eanna"})"), ""},  // shown as "anna@example.org"
        {tokenWithClaims(R"({"email":"a@b@example.org"})"), ""},
        {tokenWithClaims(R"({"email":42})"), ""},
        {tokenWithClaims("not json"), ""},
        {QStringLiteral("a.b"), ""},
        {QStringLiteral("e30.!!!.c2ln"), ""},
        {tokenWithClaims(R"({"email":"x@example.org"})") + QString(70 * 1024, u'a'), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(auth::idTokenAddress(c.token), QString::fromLatin1(c.address)) << qPrintable(c.token.left(200));
}

}  // namespace
