// Folder options on a server whose folders have other names but carry their
// RFC 6154 roles, as Gmail's and Outlook's do.
#include "form1_fixture.h"
#include "mainwindow/component_options.h"
#include "platform/mailbox/mailbox_component.h"
#include "support/scripted_imap_server.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

using namespace tallyhive::testing;

namespace {

class Form1SpecialUseTest : public Form1Test {
protected:
    void TearDown() override
    {
        Form1Test::TearDown();
        server.reset();
        qunsetenv("TALLYHIVE_CA_FILE");
        qputenv("TALLYHIVE_IMAP_HOST", "127.0.0.1");
        qunsetenv("TALLYHIVE_IMAP_PORT");
    }

    Form1& connectTo(ScriptedImapServer::Script script)
    {
        server = std::make_unique<ScriptedImapServer>(std::move(script));
        server->applyEnvironment();
        window = std::make_unique<Form1>(tallyhive::Form1Services{
            boxes, settings, spreadsheets, [] { return tallyhive::platform::createImapComponent(tallyhive::imapOptionsFromConfig()); }, &browser});
        window->Form_Load();
        window->Text1->setText(QStringLiteral("tester@example.org"));
        window->Combo1->setCurrentIndex(0);
        window->Text2->setText(QStringLiteral("Correct-Horse-7"));
        window->PushButton1_Click();
        return *window;
    }

    std::unique_ptr<ScriptedImapServer> server;
};

TEST_F(Form1SpecialUseTest, EachOptionTakesTheFolderWithItsRoleWhenItsOwnNameIsMissing)
{
    ScriptedImapServer::Script script;
    script.mailboxes = {{QStringLiteral("INBOX"), {ScriptedImapServer::sampleMessage(1)}},
                        {QStringLiteral("[Mail]/Sent Mail"), {ScriptedImapServer::sampleMessage(2), ScriptedImapServer::sampleMessage(3)}},
                        {QStringLiteral("Deleted Items"), {ScriptedImapServer::sampleMessage(4)}},
                        {QStringLiteral("Drafts"), {}},
                        {QStringLiteral("Old Drafts"), {ScriptedImapServer::sampleMessage(5)}}};
    script.specialUse = {{QStringLiteral("[Mail]/Sent Mail"), "\\Sent"},
                         {QStringLiteral("Deleted Items"), "\\Trash"},
                         {QStringLiteral("Old Drafts"), "\\Drafts"}};
    Form1& w = connectTo(script);
    ASSERT_TRUE(w.isConnected()) << qPrintable(boxes.texts().join(u'|'));

    w.Option6->click();
    w.PushButton3_Click();
    EXPECT_EQ(rowTexts(4), QStringList({"Subject 2", "Subject 3"}));

    w.Option9->click();
    w.PushButton3_Click();
    EXPECT_EQ(rowTexts(4), QStringList({"Subject 4"}));

    // A folder of the option's own name wins over a role elsewhere.
    boxes.shown.clear();
    w.Option5->click();
    w.PushButton3_Click();
    EXPECT_EQ(w.ListView1->rowCount(), 0);
    EXPECT_EQ(boxes.texts(), QStringList({"There are no emails in the Folder you selected."}));

    // No folder of the name and none with the role: the selection fails as before.
    boxes.shown.clear();
    w.Option7->click();
    w.PushButton3_Click();
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("Invalid login.")));
    EXPECT_FALSE(server->commands().filter(QStringLiteral("SELECT \"Junk\"")).isEmpty());
}

}  // namespace
