#pragma once

#include "interfaces/message_boxes.h"
#include "mail/imap_session.h"

#include <QDialog>

#include <array>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tallyhive {

// "Get Some Emails": asks for the first and last message number of a run and
// sets them on the session.
class Form2 : public QDialog {
    Q_OBJECT
public:
    // rangeAccepted and skipDoneMessage belong to the main window.
    Form2(platform::MessageBoxes& boxes, bool& rangeAccepted, bool& skipDoneMessage, QWidget* owner);

    std::shared_ptr<clsChilkatIMAP> ChilkatIMAP;
    int MaxMessage = 0;

    void Form_Load();
    void PushButton1_Click();  // "Continue"

    std::array<QLabel*, 2> Label1;
    std::array<QLineEdit*, 2> Text1;
    QPushButton* PushButton1;
    QPushButton* Command1;

    void done(int result) override;

private:
    platform::MessageBoxes& boxes_;
    bool& rangeAccepted_;
    bool& skipDoneMessage_;
};

}  // namespace tallyhive
