#pragma once

#include "interfaces/message_boxes.h"

#include <QUrl>

#include <functional>

class QWidget;

namespace tallyhive::platform {

// Message and input boxes as Qt dialogs, owned by the given window.
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }
    // How the "Microsoft sign-in" dialog opens the registration page.
    void setPageOpener(std::function<void(const QUrl&)> openPage) { openPage_ = std::move(openPage); }

    void show(const QString& text, const QString& title, BoxIcon icon) override;
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& defaultText) override;
    bool offer(const QString& text, const QString& title, const QString& action) override;
    std::optional<MicrosoftApplication> microsoftSetup(const MicrosoftApplication& proposed) override;

private:
    QWidget* owner_;
    std::function<void(const QUrl&)> openPage_;
};

}  // namespace tallyhive::platform
