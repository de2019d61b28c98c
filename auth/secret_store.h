#pragma once

#include <QString>

#include <optional>

namespace tallyhive::auth {

// The desktop's secret store (Secret Service, through QtKeychain), used
// synchronously: each call waits for its answer while events run. There is
// no fallback to a plain file.
class SecretStore {
public:
    explicit SecretStore(QString service, int timeoutMs = 10000);

    // The value, an empty text when there is none, nothing when the store failed.
    std::optional<QString> read(const QString& key);
    bool write(const QString& key, const QString& value);
    bool remove(const QString& key);  // true also when there was nothing to remove
    // What went wrong last, for diagnostics; never holds a value.
    QString errorText() const { return error_; }

private:
    QString service_;
    int timeoutMs_;
    QString error_;
};

}  // namespace tallyhive::auth
