#pragma once

#include "auth/token_reply.h"

#include <QObject>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace tallyhive::auth {

// One form POST to the token endpoint that ends, within its time limit, in
// finished(). Redirects are not followed (a token endpoint has no business
// sending one), no more than a few token sizes of answer is read, and no
// part of the answer is ever logged. Destroying the request aborts it.
class TokenRequest : public QObject {
    Q_OBJECT
public:
    TokenRequest(QNetworkAccessManager& network, const QUrl& url, const QByteArray& form, int timeoutMs,
                 QObject* parent = nullptr);
    ~TokenRequest() override;

signals:
    void finished(const tallyhive::auth::TokenReply& reply);

private:
    void read();
    void end();

    QNetworkReply* reply_;
    QTimer limit_;
    QByteArray body_;
    bool timedOut_ = false;
    bool tooLarge_ = false;
};

}  // namespace tallyhive::auth
