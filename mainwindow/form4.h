#pragma once

#include "interfaces/list_view.h"
#include "interfaces/message_boxes.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace tallyhive {

class WindowPointer;
namespace platform {
class QtListView;
}

// The larger list view: a copy of the main list's rows in a window whose list
// grows with it, with the main window's counts and check commands below. It
// hands back only the check marks, row by row, when it closes.
class Form4 : public QDialog {
    Q_OBJECT
public:
    // Loads the window (its load steps run here); mainList is the list whose
    // rows this window shows a copy of.
    Form4(platform::ListView& mainList, platform::MessageBoxes& boxes, QWidget* owner = nullptr);
    ~Form4() override;

    platform::QtListView& listView() const;
    QLabel& totalLabel() const;
    QLabel& selectedLabel() const;
    bool keepChecks() const;
    void refreshCounts(bool reset);

    void PushButton4_Click();   // "< Back"
    void PushButton5_Click();   // "Check All"
    void PushButton6_Click();   // "Uncheck All"
    void PushButton7_Click();   // "Clear List"
    void PushButton9_Click();   // "Check Emails Containing..."
    void PushButton10_Click();  // "Check Emails Not Containing..."

    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QPushButton* addButton(const char* name, const QString& caption, int left, int top, int width);
    void placeControls();
    void load();
    void carryMarksBack();

    platform::ListView& mainList_;
    platform::MessageBoxes& boxes_;
    WindowPointer* pointer_;
    platform::QtListView* list_;
    QLabel* label1_;
    QLabel* label2_;
    QPushButton* checkAll_;
    QPushButton* uncheckAll_;
    QPushButton* checkContaining_;
    QPushButton* checkNotContaining_;
    QPushButton* clearList_;
    QPushButton* back_;
    bool keepChecks_ = false;
    bool marksCarriedBack_ = false;
};

}  // namespace tallyhive
