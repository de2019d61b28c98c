// The real main window against a real IMAP server: sign in, fetch, check
// and export, compared with the messages the server holds.
#include "app/general_date.h"
#include "form1_fixture.h"
#include "mainwindow/component_options.h"
#include "platform/mailbox/mailbox_component.h"
#include "platform/mime/mime_message.h"
#include "platform/xlsx/xlsx_spreadsheet.h"
#include "support/dovecot_test.h"
#include "support/tcp_relay.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <optional>

using namespace tallyhive;
using tallyhive::testing::DovecotTest;
using tallyhive::testing::RecordingMessageBoxes;
using tallyhive::testing::TcpRelay;

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

// "A1"-style name of a 1-based cell.
QString cellName(int row, int column)
{
    QString letters;
    for (; column > 0; column = (column - 1) / 26)
        letters.prepend(QChar(u'A' + (column - 1) % 26));
    return letters + QString::number(row);
}

// What a workbook cell holds of a text: characters XML cannot carry (control
// characters but tab and line breaks, U+FFFE, U+FFFF, half pairs) become U+FFFD.
QString asStored(const QString& text)
{
    QString stored;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            stored += text.mid(i, 2);
            ++i;
            continue;
        }
        const bool carried = c == u'\t' || c == u'\n' || c == u'\r'
            || (c.unicode() >= 0x20 && !c.isSurrogate() && c.unicode() < 0xFFFE);
        stored += carried ? c : QChar(QChar::ReplacementCharacter);
    }
    return stored;
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
        spreadsheets_.emplace(tallyhive::workbookOptionsFromConfig());
        window_ = std::make_unique<Form1>(
            Form1Services{boxes_, settings_, *spreadsheets_, [] { return platform::createImapComponent(tallyhive::imapOptionsFromConfig()); }});
        window_->Form_Load();
    }
    void TearDown() override
    {
        window_.reset();
        if (ownExportDir_)
            qunsetenv("TALLYHIVE_EXPORT_DIR");
        qunsetenv("TALLYHIVE_RECONNECT_DELAY_MS");
        server().applyEnvironment();
    }

    // Signs in through a relay and runs Get All; returns how many bytes the
    // extraction's connection (the second) brought.
    qint64 getAllThrough(const TcpRelay& relay)
    {
        qputenv("TALLYHIVE_IMAP_PORT", QByteArray::number(relay.port()));
        if (!window_->isConnected())
            signIn(server().password());
        window_->Option3->click();
        window_->PushButton3_Click();
        return relay.bytesToClient(2);
    }

    // The cells of the newest workbook in the export folder.
    QJsonObject exportedCells()
    {
        const QStringList workbooks = QDir(exportDir_).entryList({QStringLiteral("*.xlsx")}, QDir::Files, QDir::Time);
        if (workbooks.isEmpty())
            return {};
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(TALLYHIVE_TEST_DATA_DIR "/../export/read_workbook.py"),
                      QDir(exportDir_).filePath(workbooks.first())});
        python.waitForFinished(120000);
        return QJsonDocument::fromJson(python.readAllStandardOutput()).object()[u"cells"].toObject();
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
    std::optional<platform::XlsxSpreadsheetFactory> spreadsheets_;  // made once the export folder is known
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
    const auto text = [&cells](int row, int column) {
        return cells[cellName(row, column)].toObject()[u"value"].toVariant().toString();
    };
    EXPECT_EQ(text(1, 6), QStringLiteral("RecDate"));
    // Cell for cell, as a spreadsheet shows them: apostrophes kept, what XML
    // cannot carry replaced, the body's pieces joined back into the body.
    for (int row = 1; row <= files.size(); ++row) {
        SCOPED_TRACE(files[row - 1].toStdString());
        const EmailRecord& record = *window_->emailCollection.find(row);
        const int sheetRow = row + 1;
        EXPECT_EQ(text(sheetRow, 1), asStored(record.s_From));
        EXPECT_EQ(text(sheetRow, 2), asStored(QString(record.s_FromName).remove(u'=')));
        EXPECT_EQ(text(sheetRow, 3), asStored(QString(record.s_FromAddress).remove(u'=')));
        EXPECT_EQ(text(sheetRow, 4), asStored(QString(record.s_Subject).remove(u'=')));
        const QJsonObject date = cells[cellName(sheetRow, 5)].toObject();
        EXPECT_TRUE(date[u"date"].toBool());
        EXPECT_EQ(date[u"value"].toString(),
                  general_date::parse(record.s_ReceivedDate).value_or(QDateTime()).toString(Qt::ISODate));
        QString body = text(sheetRow, 6);
        for (int column = 7; cells.contains(cellName(sheetRow, column)); ++column)
            body += text(sheetRow, column);
        EXPECT_EQ(body, asStored(record.s_PlainText));
    }
}

TEST_F(EndToEndTest, GetAllThroughACutConnectionStillBringsEveryMessageToTheWorkbook)
{
    qputenv("TALLYHIVE_RECONNECT_DELAY_MS", "50");
    const QStringList files = messageFiles(source_);
    qint64 whole = 0;
    {
        TcpRelay measure(server().host(), server().port(), {});
        whole = getAllThrough(measure);
    }
    ASSERT_EQ(window_->ListView1->rowCount(), files.size());
    boxes_.shown.clear();

    // Cut where the last few messages are on their way.
    TcpRelay relay(server().host(), server().port(), {.cutAfterBytes = whole - 2500, .cutConnection = 2});
    getAllThrough(relay);
    EXPECT_EQ(relay.cuts(), 1);
    EXPECT_EQ(relay.connections(), 3);
    ASSERT_EQ(window_->ListView1->rowCount(), files.size());
    EXPECT_EQ(boxes_.texts(), QStringList({"Done."}));

    boxes_.shown.clear();
    window_->PushButton5_Click();
    window_->PushButton4_Click();
    const QJsonObject cells = exportedCells();
    const auto text = [&cells](const QString& cell) { return cells[cell].toObject()[u"value"].toVariant().toString(); };
    for (int row = 1; row <= files.size(); ++row) {
        const auto expected = platform::messageFromBytes(readFile(files[row - 1]), QDateTime());
        EXPECT_EQ(text(u'A' + QString::number(row + 1)), expected.from) << row;
    }
    EXPECT_TRUE(text(u'A' + QString::number(files.size() + 2)).isEmpty());
}

TEST_F(EndToEndTest, GetAllWithReconnectsRefusedSaysWhatItCouldNotRead)
{
    qputenv("TALLYHIVE_RECONNECT_DELAY_MS", "50");
    const QStringList files = messageFiles(source_);
    qint64 whole = 0;
    {
        TcpRelay measure(server().host(), server().port(), {});
        whole = getAllThrough(measure);
    }
    boxes_.shown.clear();
    TcpRelay relay(server().host(), server().port(), {.cutAfterBytes = whole - 2500, .cutConnection = 2, .acceptConnections = 2});
    getAllThrough(relay);
    const int listed = window_->ListView1->rowCount();
    ASSERT_LT(listed, files.size());
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_NE(boxes_.shown[0].text, QStringLiteral("Done."));
    EXPECT_TRUE(boxes_.shown[0].text.startsWith(QStringLiteral("Done, but %1 of the %2 messages").arg(files.size() - listed).arg(files.size())))
        << boxes_.shown[0].text.toStdString();
    EXPECT_FALSE(boxes_.shown[0].text.contains(server().password()));
}
