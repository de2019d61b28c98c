#pragma once

#include "app/pending_events.h"
#include "interfaces/error.h"
#include "mainwindow/form1.h"
#include "platform/qt/qt_list_view.h"
#include "program/config.h"
#include "support/fake_browser_sign_in.h"
#include "support/fake_imap_component.h"
#include "support/gui_application.h"
#include "support/memory_settings_store.h"
#include "support/recording_message_boxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include "mainwindow/status_progress_bar.h"
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tallyhive::testing {

// A control of the window, found by the name settings and people know it by.
template <class Control>
Control* control(const QObject& window, const char* name)
{
    Control* found = window.findChild<Control*>(QString::fromLatin1(name));
    return found ? found : throw AppError(QStringLiteral("no control %1").arg(QLatin1String(name)));
}

// Exports are not what these tests look at; any attempt fails loudly.
class NoSpreadsheets : public platform::SpreadsheetFactory {
public:
    std::unique_ptr<platform::Spreadsheet> createApplication() override
    {
        throw AppError(QStringLiteral("no spreadsheet in this test"));
    }
};

// A main window over fakes: settings in memory, boxes recorded, an IMAP
// component in memory whose only account is user@example.org / secret.
class Form1Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        guiApplication();
        savedTemp_ = qgetenv("TEMP");
        qputenv("TEMP", logDir_.path().toUtf8());
        qputenv("TALLYHIVE_MAIL_DOMAINS", "example.org,example.net,example.com");
        component = std::make_shared<FakeImapComponent>();
        component->fill(QStringLiteral("Inbox"), 10);
        for (const char* name : {"Drafts", "Sent", "Junk", "Deleted"})
            component->mailboxes[QString::fromLatin1(name)];
    }

    void TearDown() override
    {
        setPendingEventsObserver(nullptr);
        window.reset();
        qputenv("TEMP", savedTemp_);
        qunsetenv("TALLYHIVE_MAIL_DOMAINS");
    }

    Form1& load()
    {
        deployment = tallyhive::config::deployment();
        window = std::make_unique<Form1>(Form1Services{boxes, settings, spreadsheets, imapServer, deployment, [this] { return component; }, &browser});
        window->Form_Load();
        return *window;
    }

    // Types the sign-in values the fake accepts and connects.
    void signIn()
    {
        control<QLineEdit>(*window, "Text1")->setText(QStringLiteral("user"));
        control<QComboBox>(*window, "Combo1")->setCurrentIndex(1);
        control<QLineEdit>(*window, "Text2")->setText(QStringLiteral("secret"));
        window->PushButton1_Click();
        ASSERT_TRUE(window->isConnected()) << qPrintable(boxes.texts().join(u'|'));
    }

    Form1& loadSignedIn()
    {
        load();
        signIn();
        return *window;
    }

    int count(const QString& call) const { return static_cast<int>(component->calls.count(call)); }
    QStringList rowTexts(int column = 1) const
    {
        QStringList texts;
        for (int row = 1; row <= window->listView().rowCount(); ++row)
            texts << window->listView().cellText(row, column);
        return texts;
    }

    QTemporaryDir logDir_;
    QByteArray savedTemp_;
    RecordingMessageBoxes boxes;
    MemorySettingsStore settings;
    NoSpreadsheets spreadsheets;
    std::shared_ptr<FakeImapComponent> component;
    FakeBrowserSignIn browser;
    tallyhive::platform::ImapServer imapServer{QStringLiteral("127.0.0.1"), 993};
    tallyhive::Deployment deployment;  // read again at each load()
    std::unique_ptr<Form1> window;
};

}  // namespace tallyhive::testing

using tallyhive::Form1;
using tallyhive::testing::control;
