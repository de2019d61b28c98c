#pragma once

#include "interfaces/settings_store.h"

#include <QMap>
#include <QStringList>

namespace tallyhive::testing {

// A settings store in memory that remembers the order of its writes.
class MemorySettingsStore : public platform::SettingsStore {
public:
    QString getSetting(const QString& application, const QString& section, const QString& key,
                       const std::optional<QString>& defaultValue = std::nullopt) const override
    {
        const auto it = values.find(address(application, section, key));
        if (it != values.end())
            return it.value();
        return defaultValue.value_or(QString());
    }

    void saveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value) override
    {
        values.insert(address(application, section, key), value);
        writes << key + u'=' + value;
    }

    // Values under the program's own application and section, by key.
    QString value(const QString& key) const { return values.value(address(QStringLiteral("Corvanta"), QStringLiteral("Tallyhive"), key)); }
    bool has(const QString& key) const { return values.contains(address(QStringLiteral("Corvanta"), QStringLiteral("Tallyhive"), key)); }
    void set(const QString& key, const QString& v) { values.insert(address(QStringLiteral("Corvanta"), QStringLiteral("Tallyhive"), key), v); }

    QMap<QString, QString> values;
    QStringList writes;

private:
    static QString address(const QString& a, const QString& s, const QString& k) { return a + u'/' + s + u'/' + k; }
};

}  // namespace tallyhive::testing
