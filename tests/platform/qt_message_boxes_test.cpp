// A box shows the words of a server or of the sign-in service as they are:
// never as markup or a link, and selectable so they can be copied.
#include "platform/qt/qt_message_boxes.h"

#include "support/gui_application.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tallyhive;

namespace {

TEST(QtMessageBoxesTest, OutsideTextIsPlainSelectableText)
{
    tallyhive::testing::guiApplication();
    platform::QtMessageBoxes boxes;
    const QString text = QStringLiteral("The sign-in service said: <a href=\"https://elsewhere.example\">Continue</a> <b>now</b>");
    QLabel* label = nullptr;
    QString shown;
    Qt::TextFormat format = Qt::RichText;
    Qt::TextInteractionFlags flags;
    QTimer::singleShot(0, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible())
                continue;
            for (QLabel* candidate : box->findChildren<QLabel*>()) {
                if (candidate->text().contains(QStringLiteral("sign-in service")))
                    label = candidate;
            }
            if (label) {
                shown = label->text();
                format = label->textFormat();
                flags = label->textInteractionFlags();
            }
            box->accept();
        }
    });
    boxes.show(text, QStringLiteral("Tallyhive"), platform::BoxIcon::None);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(shown, text);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_FALSE(flags.testFlag(Qt::LinksAccessibleByMouse));
    EXPECT_TRUE(flags.testFlag(Qt::TextSelectableByMouse));

    // However short the text, the box leaves its title room to show whole.
    int width = 0;
    QTimer::singleShot(0, [&] { width = QApplication::activeModalWidget()->width(); QApplication::activeModalWidget()->close(); });
    boxes.show(QStringLiteral("Done."), QStringLiteral("Tallyhive"), platform::BoxIcon::None);
    EXPECT_GE(width, 300);
}

}  // namespace
