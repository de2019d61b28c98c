#pragma once

#include "interfaces/message_boxes.h"
#include "mail/imap_session.h"

#include <QDialog>

#include <array>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tallyhive {

// The messages a run reads, by their numbers in the folder.
struct MessageRange {
    int first = 0;
    int last = 0;
};

// "Get Some Emails": asks for the first and last message number of a run.
class Form2 : public QDialog {
    Q_OBJECT
public:
    Form2(platform::MessageBoxes& boxes, QWidget* owner);

    // The session the range is for: Continue needs one.
    std::shared_ptr<clsChilkatIMAP> ChilkatIMAP;
    int MaxMessage = 0;

    void Form_Load();
    void PushButton1_Click();  // "Continue"
    // The range Continue accepted; nothing when the dialog closed without one.
    std::optional<MessageRange> range() const { return range_; }

    std::array<QLabel*, 2> Label1;
    std::array<QLineEdit*, 2> Text1;
    QPushButton* PushButton1;
    QPushButton* Command1;

private:
    platform::MessageBoxes& boxes_;
    std::optional<MessageRange> range_;
};

}  // namespace tallyhive
