#pragma once

#include "interfaces/settings_store.h"

namespace tallyhive::platform {

// The store as one INI file per application in the user's configuration
// folder (QSettings), readable and writable by its owner only.
class QtSettingsStore : public SettingsStore {
public:
    QString getSetting(const QString& application, const QString& section, const QString& key,
                       const std::optional<QString>& defaultValue = std::nullopt) const override;
    void saveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value) override;

    // Where the file of an application lives.
    static QString filePath(const QString& application);
};

}  // namespace tallyhive::platform
