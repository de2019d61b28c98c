// The range dialog. This test runs from a folder of its own, so the cursor
// file it puts beside the program reaches no other test.
#include "form1_fixture.h"

#include "app/texts.h"
#include "app/window/window_prep.h"
#include "mainwindow/form2.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

using namespace tallyhive;
using namespace tallyhive::testing;

namespace {

// A cursor file that exists but holds no picture, removed again at the end.
class BrokenCursorFile {
public:
    BrokenCursorFile() : file_(QDir(programFolder()).filePath(texts::CursorFile))
    {
        EXPECT_TRUE(file_.open(QIODevice::WriteOnly));
        file_.write("not a cursor");
        file_.close();
    }
    ~BrokenCursorFile() { file_.remove(); }

private:
    QFile file_;
};

}  // namespace

TEST_F(Form1Test, TabNeverStopsAtTheInvisibleContinueButton)
{
    Form2 dialog(boxes, nullptr);
    dialog.MaxMessage = 40;
    dialog.Form_Load();
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QList<QWidget*> reached;
    for (int i = 0; i < 6; ++i) {
        reached << QApplication::focusWidget();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_FALSE(reached.contains(dialog.Command1));
    EXPECT_TRUE(reached.contains(dialog.PushButton1));
    EXPECT_EQ(reached.first(), dialog.Text1[1]);
    // Enter in a box still continues through it.
    dialog.Text1[0]->setText(QStringLiteral("0"));
    dialog.Text1[1]->setFocus();
    QTest::keyClick(dialog.Text1[1], Qt::Key_Return);
    EXPECT_EQ(boxes.texts(), QStringList{QStringLiteral("Please input a value greater than zero.")});
}

TEST_F(Form1Test, AnUnreadableCursorFileDoesNotStopGetSomeEmails)
{
    BrokenCursorFile cursor;
    Form1& w = load();
    // The main window reports the broken file once as it loads, and goes on.
    boxes.shown.clear();
    signIn();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<Form2*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->cursor().shape(), Qt::ArrowCursor);
        dialog->Text1[0]->setText(QStringLiteral("2"));
        dialog->Text1[1]->setText(QStringLiteral("4"));
        dialog->PushButton1->click();
    });
    w.PushButton2_Click();
    EXPECT_EQ(boxes.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_EQ(w.listView().rowCount(), 3);
}
