// A box shows the words of a server or of the sign-in service as they are:
// never as markup or a link, and selectable so they can be copied.
#include "platform/qt/qt_message_boxes.h"

#include "support/gui_application.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
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

// Typed into as a person would: the id box has the focus, Return is OK and
// takes only an id Microsoft could have issued; the registration page is
// not opened on the way.
TEST(QtMessageBoxesTest, TheMicrosoftSignInDialogTakesAnIdTypedAndReturn)
{
    tallyhive::testing::guiApplication();
    platform::QtMessageBoxes boxes;
    QStringList opened;
    boxes.setPageOpener([&](const QUrl& page) { opened << page.toString(); });
    QString preselected;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        for (const QRadioButton* type : dialog->findChildren<QRadioButton*>()) {
            if (type->isChecked())
                preselected = type->text();
        }
        auto* id = qobject_cast<QLineEdit*>(dialog->focusWidget());
        ASSERT_NE(id, nullptr);
        QTest::keyClicks(id, QStringLiteral("not-an-id"));
        QTest::keyClick(id, Qt::Key_Return);
        ASSERT_TRUE(dialog->isVisible());
        id->clear();
        QTest::keyClicks(id, QStringLiteral(" 0F1E2D3C-4b5a-6978-8796-a5b4c3d2e1f0 "));
        QTest::keyClick(id, Qt::Key_Return);
    });
    const auto chosen = boxes.microsoftSetup({QString(), QStringLiteral("consumers")});
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->clientId, QStringLiteral("0F1E2D3C-4b5a-6978-8796-a5b4c3d2e1f0"));
    EXPECT_EQ(chosen->tenant, QStringLiteral("consumers"));
    EXPECT_EQ(preselected, QStringLiteral("Personal Microsoft accounts (Outlook.com, Hotmail, Live)"));
    EXPECT_TRUE(opened.isEmpty());
}

// Accepted as it opens, the dialog leaves in force what was: a tenant of
// one organisation included. It says where the values come from, and what
// the environment overrides.
TEST(QtMessageBoxesTest, TheMicrosoftSignInDialogKeepsTheTenantInForceAndSaysWhereItComesFrom)
{
    using platform::SettingSource;
    tallyhive::testing::guiApplication();
    platform::QtMessageBoxes boxes;
    const QString id = QStringLiteral("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0");
    const struct {
        platform::MicrosoftApplication proposed;
        QString said;
    } cases[] = {
        {{id, QStringLiteral("contoso.onmicrosoft.com"), SettingSource::BuiltIn, SettingSource::BuiltIn},
         QStringLiteral("In force now: the application id built into this copy of Tallyhive, and the account type built into this "
                        "copy of Tallyhive.")},
        {{id, QStringLiteral("common"), SettingSource::Environment, SettingSource::Saved},
         QStringLiteral("While TALLYHIVE_OAUTH_CLIENT_ID is set in the environment, the id saved here is not used.")},
        {{id, QStringLiteral("organizations"), SettingSource::Saved, SettingSource::Environment},
         QStringLiteral("While TALLYHIVE_OAUTH_AUTHORITY is set in the environment, the account type saved here is not used.")},
    };
    for (const auto& c : cases) {
        QString shown;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            for (const QLabel* label : dialog->findChildren<QLabel*>())
                shown += label->text();
            QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        });
        const auto chosen = boxes.microsoftSetup(c.proposed);
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(chosen->tenant, c.proposed.tenant);
        EXPECT_TRUE(shown.contains(c.said)) << shown.toStdString();
    }
}

}  // namespace
