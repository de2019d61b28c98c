#pragma once

#include <QString>

#include <optional>

namespace tallyhive::platform {

// A per-user store of text values addressed by application, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, else the default, else the empty text.
    virtual QString getSetting(const QString& application, const QString& section, const QString& key,
                               const std::optional<QString>& defaultValue = std::nullopt) const = 0;
    virtual void saveSetting(const QString& application, const QString& section, const QString& key,
                             const QString& value) = 0;
};

}  // namespace tallyhive::platform
