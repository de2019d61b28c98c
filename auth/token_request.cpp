#include "auth/token_request.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace tallyhive::auth {
namespace {

// Room for an access, a refresh and an ID token at their largest, and the rest.
constexpr qsizetype kMaxAnswerBytes = 4 * kMaxTokenLength;

}  // namespace

TokenRequest::TokenRequest(QNetworkAccessManager& network, const QUrl& url, const QByteArray& form, int timeoutMs, QObject* parent)
    : QObject(parent)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    reply_ = network.post(request, form);
    connect(reply_, &QNetworkReply::readyRead, this, &TokenRequest::read);
    connect(reply_, &QNetworkReply::finished, this, &TokenRequest::end);
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] {
        timedOut_ = true;
        reply_->abort();  // finishes the reply, and so ends this
    });
    limit_.start(timeoutMs);
}

TokenRequest::~TokenRequest()
{
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        delete reply_;
    }
}

void TokenRequest::read()
{
    body_ += reply_->read(kMaxAnswerBytes + 1 - body_.size());
    if (body_.size() > kMaxAnswerBytes) {
        tooLarge_ = true;
        reply_->abort();
    }
}

void TokenRequest::end()
{
    limit_.stop();
    if (!tooLarge_ && !timedOut_)
        read();
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString networkError = reply_->errorString();
    // Gone later, not now: this runs inside the reply's own signal, and
    // whoever hears finished() may drop this request at once.
    reply_->disconnect(this);
    reply_->deleteLater();
    reply_ = nullptr;
    TokenReply answer;
    if (timedOut_) {
        answer.kind = TokenReply::Kind::Unreachable;
        answer.error = QStringLiteral("no answer within %1 s").arg((limit_.interval() + 999) / 1000);
    } else if (tooLarge_) {
        answer.kind = TokenReply::Kind::Unexpected;
        answer.httpStatus = status;
        answer.error = QStringLiteral("an answer larger than %1 KB").arg(kMaxAnswerBytes / 1024);
    } else {
        answer = parseTokenReply(status, body_);
        if (answer.kind == TokenReply::Kind::Unreachable)
            answer.error = networkError;
    }
    body_.fill('\0');  // it may hold tokens
    body_.clear();
    emit finished(answer);
}

}  // namespace tallyhive::auth
