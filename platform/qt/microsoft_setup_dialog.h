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
// application and the account type it was registered for, with the steps to
// register one. OK takes only an id Microsoft could have issued.
class MicrosoftSetupDialog : public QDialog {
public:
    // openPage opens the registration page; nothing else here goes online.
    MicrosoftSetupDialog(const MicrosoftApplication& proposed, std::function<void(const QUrl&)> openPage, QWidget* owner);

    MicrosoftApplication chosen() const;

private:
    QLineEdit* clientId_;
    std::array<QRadioButton*, 3> accountTypes_;  // in the order of kTenants
    QPushButton* ok_;
};

}  // namespace tallyhive::platform
