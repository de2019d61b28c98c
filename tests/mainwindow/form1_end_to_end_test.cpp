// The real main window against a real IMAP server: sign in, fetch, check
// and export, compared with the messages the server holds.
#include "app/general_date.h"
#include "form1_fixture.h"
#include "platform/mailbox/mailbox_component.h"
#include "platform/mime/mime_message.h"
#include "platform/xlsx/xlsx_spreadsheet.h"
#include "support/dovecot_test.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace tallyhive;
using tallyhive::testing::DovecotTest;
using tallyhive::testing::RecordingMessageBoxes;

namespace {

// The messages to serve: TALLYHIVE_E2E_MAILDIR when given (a Maildir, or a
// folder of .eml files), else the project's test corpus.
QString mailSource(QTemporaryDir& scratch)
{
    const QString given = qEnvironmentVariable("TALLYHIVE_E2E_MAILDIR");
    if (given.isEmpty())
        return QStringLiteral(TALLYHIVE_TEST_DATA_DIR "/messages");
    if (!QDir(given).exists(QStringLiteral("cur")) && !QDir(given).exists(QStringLiteral("new")))
        return given;
    // A Maildir's messages, in the order of their file names, as .eml files.
    QStringList files;
    for (const char* sub : {"cur", "new"}) {
        const QDir folder(QDir(given).filePath(QString::fromLatin1(sub)));
        for (const QString& name : folder.entryList(QDir::Files))
            files << folder.filePath(name);
    }
    std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
        return QFileInfo(a).fileName() < QFileInfo(b).fileName();
    });
    for (int i = 0; i < files.size(); ++i)
        QFile::copy(files[i], scratch.filePath(QStringLiteral("%1.eml").arg(i, 6, 10, QLatin1Char('0'))));
    return scratch.path();
}

QStringList messageFiles(const QString& source)
{
    const QDir folder(source);
    QStringList files;
    for (const QString& name : folder.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name))
        files << folder.filePath(name);
    return files;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class EndToEndTest : public DovecotTest {
public:
    static void SetUpTestSuite()
    {
        scratch_ = new QTemporaryDir;
        source_ = mailSource(*scratch_);
        start(source_);
    }
    static void TearDownTestSuite()
    {
        DovecotTest::TearDownTestSuite();
        delete scratch_;
    }

protected:
    void SetUp() override
    {
        DovecotTest::SetUp();
        tallyhive::testing::guiApplication();
        qputenv("TEMP", logDir_.path().toUtf8());
        exportDir_ = qEnvironmentVariable("TALLYHIVE_EXPORT_DIR");
        if (exportDir_.isEmpty()) {
            exportDir_ = logDir_.filePath(QStringLiteral("exports"));
            qputenv("TALLYHIVE_EXPORT_DIR", exportDir_.toUtf8());
            ownExportDir_ = true;
        }
        window_ = std::make_unique<Form1>(
            Form1Services{boxes_, settings_, spreadsheets_, [] { return platform::createImapComponent(); }});
        window_->Form_Load();
    }
    void TearDown() override
    {
        window_.reset();
        if (ownExportDir_)
            qunsetenv("TALLYHIVE_EXPORT_DIR");
    }

    void signIn(const QString& password)
    {
        window_->Text1->setText(server().user());
        window_->Combo1->setCurrentIndex(0);
        window_->Text2->setText(password);
        window_->PushButton1_Click();
    }

    static inline QTemporaryDir* scratch_ = nullptr;
    static inline QString source_;
    QTemporaryDir logDir_;
    QString exportDir_;
    bool ownExportDir_ = false;
    RecordingMessageBoxes boxes_;
    tallyhive::testing::MemorySettingsStore settings_;
    platform::XlsxSpreadsheetFactory spreadsheets_;
    std::unique_ptr<Form1> window_;
};

}  // namespace

TEST_F(EndToEndTest, SignInConnectsAndDisconnectKeepsOrForgetsTheUser)
{
    signIn(server().password());
    ASSERT_TRUE(window_->isConnected()) << qPrintable(boxes_.texts().join(u'|'));
    EXPECT_EQ(window_->statusText(),
              QStringLiteral("Connected to Windows Live Hotmail. Please select folder to extract emails from."));
    EXPECT_NE(window_->oChilkat, nullptr);
    window_->PushButton1_Click();
    EXPECT_FALSE(window_->isConnected());
    EXPECT_TRUE(window_->Text1->text().isEmpty());

    window_->Check1->setCheckState(Qt::Checked);
    signIn(server().password());
    window_->PushButton1_Click();
    EXPECT_EQ(window_->Text1->text(), server().user());
    EXPECT_EQ(settings_.value(QStringLiteral("Password")), server().password());
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(EndToEndTest, ARefusedLoginShowsOneBoxAndNeverThePassword)
{
    signIn(QStringLiteral("not-the-password"));
    EXPECT_FALSE(window_->isConnected());
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_TRUE(boxes_.shown[0].text.startsWith(QStringLiteral("Invalid login.")));
    EXPECT_EQ(window_->statusText(), QStringLiteral("Disconnected from Windows Live Hotmail."));
    EXPECT_FALSE(window_->imapComponent->lastErrorText().contains(QStringLiteral("not-the-password")));
}

TEST_F(EndToEndTest, GetAllListsEveryMessageTheServerHoldsAndTheWorkbookMatches)
{
    signIn(server().password());
    ASSERT_TRUE(window_->isConnected());
    window_->Option3->click();
    window_->PushButton3_Click();
    EXPECT_EQ(boxes_.texts(), QStringList({"Done."}));

    const QStringList files = messageFiles(source_);
    ASSERT_FALSE(files.isEmpty());
    ASSERT_EQ(window_->ListView1->rowCount(), files.size());
    for (int row = 1; row <= files.size(); ++row) {
        SCOPED_TRACE(files[row - 1].toStdString());
        const auto expected = platform::messageFromBytes(readFile(files[row - 1]), QDateTime());
        const EmailRecord& record = *window_->emailCollection.find(row);
        EXPECT_EQ(record.s_From, expected.from);
        EXPECT_EQ(record.s_FromName, expected.fromName);
        EXPECT_EQ(record.s_FromAddress, expected.fromAddress);
        EXPECT_EQ(record.s_Subject, expected.subject);
        EXPECT_EQ(record.s_PlainText, expected.plainText);
        EXPECT_EQ(record.s_HTMLText, expected.htmlText);
        EXPECT_TRUE(general_date::parse(record.s_ReceivedDate).has_value()) << qPrintable(record.s_ReceivedDate);
        EXPECT_EQ(window_->ListView1->cellText(row, 1), record.s_From);
        EXPECT_EQ(window_->ListView1->cellText(row, 2), record.s_FromName);
        EXPECT_EQ(window_->ListView1->cellText(row, 3), record.s_FromAddress);
        EXPECT_EQ(window_->ListView1->cellText(row, 4), record.s_Subject);
        EXPECT_EQ(window_->ListView1->cellText(row, 5), record.s_ReceivedDate);
    }
    // Fetching peeks: no message on the server became read.
    QDirIterator stored(server().maildir(), QDir::Files, QDirIterator::Subdirectories);
    while (stored.hasNext()) {
        const QString name = QFileInfo(stored.next()).fileName();
        if (name.contains(QStringLiteral(":2,"))) {
            EXPECT_FALSE(name.section(QStringLiteral(":2,"), 1).contains(u'S')) << qPrintable(name);
        }
    }

    boxes_.shown.clear();
    window_->PushButton5_Click();
    window_->PushButton4_Click();
    EXPECT_EQ(boxes_.texts(), QStringList({"Done."}));
    const QStringList workbooks = QDir(exportDir_).entryList({QStringLiteral("*.xlsx")}, QDir::Files, QDir::Time);
    ASSERT_FALSE(workbooks.isEmpty());
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(TALLYHIVE_TEST_DATA_DIR "/../export/read_workbook.py"),
                  QDir(exportDir_).filePath(workbooks.first())});
    ASSERT_TRUE(python.waitForFinished(120000));
    const QJsonObject cells = QJsonDocument::fromJson(python.readAllStandardOutput()).object()[u"cells"].toObject();
    const auto text = [&cells](const QString& cell) { return cells[cell].toObject()[u"value"].toVariant().toString(); };
    EXPECT_EQ(text(QStringLiteral("F1")), QStringLiteral("RecDate"));
    for (int row = 1; row <= files.size(); ++row) {
        const EmailRecord& record = *window_->emailCollection.find(row);
        const QString sheetRow = QString::number(row + 1);
        EXPECT_EQ(text(u'A' + sheetRow), record.s_From);
        EXPECT_EQ(text(u'D' + sheetRow), QString(record.s_Subject).remove(u'='));
        const QString body = text(u'F' + sheetRow);
        EXPECT_TRUE(record.s_PlainText.startsWith(body.left(1000))) << row;
    }
}
