#pragma once

#include <QString>

#include <optional>

namespace tallyhive::platform {

enum class BoxIcon { None, Exclamation, Information };

// Where a value in force comes from; each overrides the one before.
enum class SettingSource { BuiltIn, Saved, Environment };

// The application registered with Microsoft that the browser sign-in uses.
struct MicrosoftApplication {
    QString clientId;  // its Application (client) ID
    // The account type it takes: "consumers", "organizations", "common", or
    // one organisation's directory id or domain.
    QString tenant;
    SettingSource clientIdSource = SettingSource::Saved;
    SettingSource tenantSource = SettingSource::Saved;
};

// Every modal box the program shows goes through here, so tests can answer them.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A box with a single OK button; returns when the user has dismissed it.
    virtual void show(const QString& text, const QString& title, BoxIcon icon) = 0;
    // An input box with OK and Cancel; nothing when the user cancelled.
    virtual std::optional<QString> input(const QString& prompt, const QString& title,
                                         const QString& defaultText) = 0;
    // A box with OK and a button captioned action; true when that was chosen.
    virtual bool offer(const QString& text, const QString& title, const QString& action) = 0;
    // The "Microsoft sign-in" dialog, filled in with proposed; what the user
    // entered, or nothing when cancelled. Its button for the registration
    // page goes through the program's browser launcher.
    virtual std::optional<MicrosoftApplication> microsoftSetup(const MicrosoftApplication& proposed) = 0;
};

}  // namespace tallyhive::platform
