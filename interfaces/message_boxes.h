#pragma once

#include <QString>

#include <optional>

namespace tallyhive::platform {

enum class BoxIcon { None, Exclamation, Information };

// Every modal box the program shows goes through here, so tests can answer them.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A box with a single OK button; returns when the user has dismissed it.
    virtual void show(const QString& text, const QString& title, BoxIcon icon) = 0;
    // An input box with OK and Cancel; nothing when the user cancelled.
    virtual std::optional<QString> input(const QString& prompt, const QString& title,
                                         const QString& defaultText) = 0;
};

}  // namespace tallyhive::platform
