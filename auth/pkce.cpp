#include "auth/pkce.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace tallyhive::auth {

QByteArray randomUrlSafe(int length)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    QByteArray text(length, Qt::Uninitialized);
    for (char& c : text)
        c = kAlphabet[QRandomGenerator::system()->bounded(static_cast<quint32>(sizeof(kAlphabet) - 1))];
    return text;
}

QByteArray Pkce::challengeFor(const QByteArray& verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

Pkce Pkce::create()
{
    Pkce pkce;
    pkce.verifier = randomUrlSafe(64);
    pkce.challenge = challengeFor(pkce.verifier);
    return pkce;
}

}  // namespace tallyhive::auth
