#pragma once

#include "interfaces/message_boxes.h"

class QWidget;

namespace tallyhive::platform {

// Message and input boxes as Qt dialogs, owned by the given window.
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

    void show(const QString& text, const QString& title, BoxIcon icon) override;
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& defaultText) override;

private:
    QWidget* owner_;
};

}  // namespace tallyhive::platform
