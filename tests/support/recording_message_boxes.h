#pragma once

#include "interfaces/message_boxes.h"
#include "support/qt_printers.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

namespace tallyhive::testing {

struct ShownBox {
    QString text;
    QString title;
    platform::BoxIcon icon;
};

// Records every box instead of showing it, and answers input boxes from a script.
class RecordingMessageBoxes : public platform::MessageBoxes {
public:
    void show(const QString& text, const QString& title, platform::BoxIcon icon) override
    {
        shown.push_back({text, title, icon});
    }

    std::optional<QString> input(const QString& prompt, const QString& title, const QString&) override
    {
        prompts.push_back(prompt + u'|' + title);
        if (answers.empty())
            return std::nullopt;
        const bool cancelled = !answers.front().has_value();
        const QString text = answers.front().value_or(QString());
        answers.pop_front();
        if (cancelled)
            return std::nullopt;
        return text;
    }

    bool offer(const QString& text, const QString& title, const QString&) override
    {
        show(text, title, platform::BoxIcon::None);
        return takeOffer;
    }
    std::optional<platform::MicrosoftApplication> microsoftSetup(const platform::MicrosoftApplication& proposed) override
    {
        setups.push_back(proposed);
        return setupAnswer;
    }

    QStringList texts() const
    {
        QStringList all;
        for (const auto& box : shown)
            all << box.text;
        return all;
    }

    std::vector<ShownBox> shown;
    QStringList prompts;
    std::deque<std::optional<QString>> answers;  // nullopt answers Cancel
    bool takeOffer = false;                       // whether offers are taken
    std::vector<platform::MicrosoftApplication> setups;  // what each "Microsoft sign-in" dialog proposed
    std::optional<platform::MicrosoftApplication> setupAnswer;  // nullopt: Cancel
};

}  // namespace tallyhive::testing
