// "Other:" against a real server holding nested folders and folders whose
// names need encoding and quoting: the list offered after Connect, Get All
// and Send To Excel for each, the choice kept for the next start.
#include "app/error_log.h"
#include "form1_fixture.h"
#include "platform/mailbox/mailbox_component.h"
#include "platform/xlsx/xlsx_spreadsheet.h"
#include "program/component_options.h"
#include "program/config.h"
#include "support/dovecot_test.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace tallyhive;
using tallyhive::testing::DovecotTest;

namespace {

// The server's folders beside the five, each with as many messages as its place in this list.
const QStringList kFolders{QStringLiteral("Archive"), QStringLiteral("Projects/2026"), QStringLiteral("Reçus"),
                           QStringLiteral("Ünïcødé €"), QStringLiteral("quote \" and \\ backslash"), QStringLiteral("a&b"),
                           QStringLiteral("Minutes of the steering committee of the long-running project, every attachment kept, "
                                          "every reply filed, year after year after year")};

QString subject(const QString& folder, int n) { return QStringLiteral("%1 #%2").arg(folder).arg(n); }

// One subfolder per folder (nested for "Projects/2026", whose parent then
// holds no mail and cannot be selected) and one message in the Inbox.
void writeSource(const QString& root)
{
    const auto write = [](const QString& folder, const QString& file, const QString& subject) {
        QDir().mkpath(folder);
        QFile eml(QDir(folder).filePath(file));
        ASSERT_TRUE(eml.open(QIODevice::WriteOnly));
        eml.write("From: Ann <ann@example.org>\r\nDate: Tue, 19 Mar 2024 10:00:00 +0000\r\nSubject: =?UTF-8?B?"
                  + subject.toUtf8().toBase64() + "?=\r\n\r\nBody of " + subject.toUtf8() + "\r\n");
    };
    write(QDir(root).filePath(QStringLiteral("Inbox")), QStringLiteral("1.eml"), QStringLiteral("In the Inbox"));
    for (int i = 0; i < kFolders.size(); ++i) {
        for (int n = 1; n <= i + 1; ++n)
            write(QDir(root).filePath(kFolders[i]), QStringLiteral("%1.eml").arg(n), subject(kFolders[i], n));
    }
}

class OtherFolderTest : public DovecotTest {
public:
    static void SetUpTestSuite()
    {
        source_ = new QTemporaryDir;
        writeSource(source_->path());
        start(source_->path());
    }
    static void TearDownTestSuite()
    {
        DovecotTest::TearDownTestSuite();
        delete source_;
    }

protected:
    void SetUp() override
    {
        DovecotTest::SetUp();
        tallyhive::testing::guiApplication();
        qputenv("TEMP", scratch_.path().toUtf8());
    }
    void TearDown() override { window_.reset(); }

    QString exportDir() const { return scratch_.filePath(QStringLiteral("exports")); }

    Form1& startWindow()
    {
        window_ = std::make_unique<Form1>(
            Form1Services{boxes_, settings_, spreadsheets_, imapServer_, deployment_, [] { return platform::createImapComponent(tallyhive::imapOptionsFromConfig()); }});
        window_->Form_Load();
        return *window_;
    }

    void connect()
    {
        control<QLineEdit>(*window_, "Text1")->setText(server().user());
        control<QComboBox>(*window_, "Combo1")->setCurrentIndex(0);
        control<QLineEdit>(*window_, "Text2")->setText(server().password());
        window_->PushButton1_Click();
        ASSERT_TRUE(window_->isConnected()) << qPrintable(boxes_.texts().join(u'|'));
    }

    QStringList listed(int column) const
    {
        QStringList texts;
        for (int row = 1; row <= window_->listView().rowCount(); ++row)
            texts << window_->listView().cellText(row, column);
        return texts;
    }

    // Column D of the exported workbook, below its title.
    QStringList exportedSubjects()
    {
        const QDir exports(exportDir());
        const QStringList workbooks = exports.entryList({QStringLiteral("*.xlsx")}, QDir::Files, QDir::Time);
        if (workbooks.isEmpty())
            return {};
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(TALLYHIVE_TEST_DATA_DIR "/../export/read_workbook.py"),
                                                          exports.filePath(workbooks.first())});
        python.waitForFinished(120000);
        const QJsonObject cells = QJsonDocument::fromJson(python.readAllStandardOutput()).object()[u"cells"].toObject();
        QStringList subjects;
        for (int row = 2; cells.contains(QStringLiteral("D%1").arg(row)); ++row)
            subjects << cells[QStringLiteral("D%1").arg(row)].toObject()[u"value"].toString();
        return subjects;
    }

    static inline QTemporaryDir* source_ = nullptr;
    QTemporaryDir scratch_;
    tallyhive::testing::RecordingMessageBoxes boxes_;
    tallyhive::testing::MemorySettingsStore settings_;
    platform::XlsxSpreadsheetFactory spreadsheets_{platform::WorkbookOptions{exportDir(), false}};
    platform::ImapServer imapServer_ = tallyhive::imapServerFromConfig();
    const Deployment deployment_ = config::deployment();
    std::unique_ptr<Form1> window_;
};

class EachOtherFolderTest : public OtherFolderTest, public ::testing::WithParamInterface<int> {};

}  // namespace

// "(all folders)" gives every message of the mailbox once, each with its folder.
TEST_F(OtherFolderTest, AllFoldersGivesEveryMessageOnceWithItsFolder)
{
    Form1& w = startWindow();
    connect();
    auto* folders = control<QComboBox>(w, "Combo2");
    folders->setCurrentIndex(0);
    emit folders->activated(0);
    w.PushButton3_Click();
    EXPECT_EQ(boxes_.texts(), QStringList({"Done."}));
    const int folderColumn = w.listView().columnCount() - 1;
    QStringList rows;
    for (int row = 1; row <= w.listView().rowCount(); ++row)
        rows << w.listView().cellText(row, folderColumn) + u'|' + w.listView().cellText(row, 4);
    QStringList expected{QStringLiteral("Inbox|In the Inbox")};
    for (int i = 0; i < kFolders.size(); ++i) {
        for (int n = 1; n <= i + 1; ++n)
            expected << kFolders[i] + u'|' + subject(kFolders[i], n);
    }
    rows.sort();
    expected.sort();
    EXPECT_EQ(rows, expected);
}

TEST_P(EachOtherFolderTest, IsOfferedFetchedExportedAndKeptForTheNextStart)
{
    const QString folder = kFolders[GetParam()];
    Form1& w = startWindow();
    connect();
    QStringList offered;
    for (int i = 0; i < control<QComboBox>(w, "Combo2")->count(); ++i)
        offered << control<QComboBox>(w, "Combo2")->itemText(i);
    // A long name is shown shortened; the folder is opened by the whole.
    EXPECT_EQ(offered, QStringList({"(all folders)", "a&b", "Archive",
                                    "Minutes of the steering committee of the long-running projec…reply filed, year after year after year",
                                    "Projects/2026", "quote \" and \\ backslash", "Reçus", "Ünïcødé €"}));

    control<QComboBox>(w, "Combo2")->setCurrentIndex(control<QComboBox>(w, "Combo2")->findData(folder));
    emit control<QComboBox>(w, "Combo2")->activated(control<QComboBox>(w, "Combo2")->currentIndex());
    ASSERT_TRUE(control<QRadioButton>(w, "Option10")->isChecked());
    w.PushButton3_Click();
    EXPECT_EQ(boxes_.texts(), QStringList({"Done."}));
    QStringList expected;
    for (int n = 1; n <= GetParam() + 1; ++n)
        expected << subject(folder, n);
    EXPECT_EQ(listed(4), expected);

    boxes_.shown.clear();
    w.PushButton5_Click();
    w.PushButton4_Click();
    EXPECT_EQ(boxes_.texts(), QStringList({"Done."}));
    EXPECT_EQ(exportedSubjects(), expected);

    // The next start shows the folder chosen before anything is listed, and fetches it.
    Form1& again = startWindow();
    EXPECT_TRUE(control<QRadioButton>(again, "Option10")->isChecked());
    EXPECT_EQ(again.SelectedFolderName(), folder);
    connect();
    boxes_.shown.clear();
    again.PushButton3_Click();
    EXPECT_EQ(listed(4), expected);
}

INSTANTIATE_TEST_SUITE_P(Folders, EachOtherFolderTest, ::testing::Range(0, 7));

TEST_F(OtherFolderTest, ASavedFolderTheServerNoLongerHasFailsTheRunTheUsualWay)
{
    settings_.set(QStringLiteral("Option3"), QStringLiteral("0"));
    settings_.set(QStringLiteral("Option10"), QStringLiteral("1"));
    settings_.set(QStringLiteral("Combo2"), QStringLiteral("Projects/2025"));
    Form1& w = startWindow();
    connect();
    EXPECT_EQ(w.SelectedFolderName(), QStringLiteral("Projects/2025"));
    w.PushButton3_Click();
    EXPECT_EQ(w.listView().rowCount(), 0);
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_TRUE(boxes_.shown[0].text.startsWith(QStringLiteral("Invalid login.")));
    EXPECT_EQ(boxes_.shown[1].text, QStringLiteral("There are no emails in the Folder you selected."));
    QFile log(errorLogPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("Projects/2025"));
}
