#pragma once

#include "interfaces/message_boxes.h"

#include <QDialog>
#include <QUrl>

#include <array>
#include <functional>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tallyhive::platform {

// "Microsoft sign-in": the Application (client) ID of a registered
// application and the account type it was registered for, one
// organisation's included, with the steps to register one and where the
// values in force come from. OK takes only an id Microsoft could have
// issued and a tenant that could be one; what was in force stays chosen
// until the user changes it.
class MicrosoftSetupDialog : public QDialog {
public:
    // openPage opens the registration page; nothing else here goes online.
    MicrosoftSetupDialog(const MicrosoftApplication& proposed, std::function<void(const QUrl&)> openPage, QWidget* owner);

    MicrosoftApplication chosen() const;

private:
    void check();

    QLineEdit* clientId_;
    std::array<QRadioButton*, 4> accountTypes_;  // the three shared tenants, then one organisation
    QLineEdit* organisation_;
    QPushButton* ok_;
};

}  // namespace tallyhive::platform
