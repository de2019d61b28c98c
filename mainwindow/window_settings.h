#pragma once

#include "app/settings_keys.h"
#include "interfaces/settings_store.h"

#include <QString>

#include <optional>

namespace tallyhive {

// The main window's own settings, one key each.
inline QString readWindowSetting(platform::SettingsStore& settings, const QString& key,
                                 const std::optional<QString>& fallback = std::nullopt)
{
    return settings.getSetting(settings_keys::Application, settings_keys::Section, key, fallback);
}

inline void saveWindowSetting(platform::SettingsStore& settings, const QString& key, const QString& value)
{
    settings.saveSetting(settings_keys::Application, settings_keys::Section, key, value);
}

}  // namespace tallyhive
