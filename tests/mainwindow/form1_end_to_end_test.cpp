// The real main window against a real IMAP server: sign in, fetch, check
// and export, compared with the messages the server holds.
#include "app/error_log.h"
#include "app/general_date.h"
#include "form1_fixture.h"
#include "platform/mailbox/mailbox_component.h"
#include "platform/mime/mime_message.h"
#include "platform/store/sqlite_message_store.h"
#include "platform/xlsx/xlsx_spreadsheet.h"
#include "program/component_options.h"
#include "program/config.h"
#include "support/dovecot_test.h"
#include "support/message_corpus.h"
#include "support/tcp_relay.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

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

// What a spreadsheet shows in a 1-based cell of `cells`, as read_workbook.py gives them.
QString cellValue(const QJsonObject& cells, int row, int column)
{
    return cells[cellName(row, column)].toObject()[u"value"].toVariant().toString();
}

// What the list must show of one message file, and the workbook of its row.
struct Expected {
    QString file;
    QString from, fromName, fromAddress, subject, plainText, htmlText;
    QDateTime date;  // invalid: the server's arrival date, which the test does not know
    std::map<int, QString> sheet;  // the workbook's cells, by column, where they are known
};

// Where the workbook shows other than the list: "=" left out of name,
// address and subject, characters XML cannot carry shown as U+FFFD.
const std::map<QString, std::map<int, QString>> sheetDiffers = {
    {QStringLiteral("15-body-starts-with-equals.eml"), {{4, QStringLiteral("1+1")}}},
    {QStringLiteral("40-apostrophes-and-control-characters.eml"),
     {{4, QStringLiteral("'Tis the bell\uFFFD season")},
      {6, QStringLiteral("'Quoted first line\n+1 555 0100, -5 and @mention\nAn escape lookalike _x0041_ stays as written\n"
                         "Form feed\uFFFDhere, vertical tab\uFFFDhere\n")}}},
};

// A text a workbook cell holds unchanged.
bool keptAsIs(const QString& text, bool equalsDropped)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u >= 0xFFFE || c.isSurrogate() || (equalsDropped && u == u'='))
            return false;
    }
    return true;
}

// The project's corpus has its values stated by hand. A corpus given by
// TALLYHIVE_E2E_MAILDIR has none: the conversion of each file stands in, so
// that the test still shows that what came over IMAP, through the window and
// into the workbook is what the file holds; its workbook cells are compared
// where they hold the text unchanged.
std::vector<Expected> expectedFor(const QStringList& files, bool ownCorpus)
{
    std::vector<Expected> all;
    for (const QString& path : files) {
        Expected e;
        e.file = QFileInfo(path).fileName();
        if (ownCorpus) {
            const auto* stated = std::find_if(std::begin(tallyhive::testing::corpus), std::end(tallyhive::testing::corpus),
                                              [&](const auto& m) { return e.file == QString::fromUtf8(m.file); });
            if (stated == std::end(tallyhive::testing::corpus)) {
                ADD_FAILURE() << "no stated values for " << e.file.toStdString();
                continue;
            }
            const auto text = [](const char* utf8) { return QString::fromUtf8(utf8); };
            e.from = text(stated->from), e.fromName = text(stated->fromName), e.fromAddress = text(stated->fromAddress);
            e.subject = text(stated->subject), e.plainText = text(stated->plainText), e.htmlText = text(stated->htmlText);
            if (stated->dateUtc)
                e.date = QDateTime::fromString(QString::fromLatin1(stated->dateUtc), Qt::ISODate);
        } else {
            QFile file(path);
            const auto m = platform::messageFromBytes(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), QDateTime());
            e.from = m.s_From, e.fromName = m.s_FromName, e.fromAddress = m.s_FromAddress, e.subject = m.s_Subject;
            e.plainText = m.s_PlainText.text(), e.htmlText = m.s_HTMLText.text();
        }
        const QString texts[] = {e.from, e.fromName, e.fromAddress, e.subject, QString(), e.plainText};
        for (int column : {1, 2, 3, 4, 6})
            if (keptAsIs(texts[column - 1], column >= 2 && column <= 4))
                e.sheet[column] = texts[column - 1];
        if (ownCorpus)
            for (const auto& [column, text] : sheetDiffers.count(e.file) ? sheetDiffers.at(e.file) : std::map<int, QString>{})
                e.sheet[column] = text;
        all.push_back(std::move(e));
    }
    return all;
}

class EndToEndTest : public DovecotTest {
public:
    static void SetUpTestSuite()
    {
        scratch_ = new QTemporaryDir;
        source_ = mailSource(*scratch_);
        ownCorpus_ = qEnvironmentVariable("TALLYHIVE_E2E_MAILDIR").isEmpty();
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
        window_ = std::make_unique<Form1>(Form1Services{
            boxes_, settings_, *spreadsheets_, imapServer_, deployment_,
            [this] { return platform::createImapComponent(tallyhive::imapOptionsFromConfig(), store_); }, nullptr, store_.get()});
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
        imapServer_.port = relay.port();
        if (!window_->isConnected())
            signIn(server().password());
        control<QRadioButton>(*window_, "Option3")->click();
        window_->PushButton3_Click();
        return relay.bytesToClient(1);
    }

    // Get All through a relay that cuts nothing; returns what the extraction brought.
    qint64 getAllThroughAWholeRelay()
    {
        TcpRelay measure(server().host(), server().port(), {});
        return getAllThrough(measure);
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
        control<QLineEdit>(*window_, "Text1")->setText(server().user());
        control<QComboBox>(*window_, "Combo1")->setCurrentIndex(0);
        control<QLineEdit>(*window_, "Text2")->setText(password);
        window_->PushButton1_Click();
    }

    static inline QTemporaryDir* scratch_ = nullptr;
    static inline QString source_;
    static inline bool ownCorpus_ = true;
    QTemporaryDir logDir_;
    QString exportDir_;
    bool ownExportDir_ = false;
    RecordingMessageBoxes boxes_;
    tallyhive::testing::MemorySettingsStore settings_;
    std::optional<platform::XlsxSpreadsheetFactory> spreadsheets_;  // made once the export folder is known
    platform::ImapServer imapServer_ = tallyhive::imapServerFromConfig();
    const Deployment deployment_ = config::deployment();
    QTemporaryDir cache_;
    std::shared_ptr<platform::SqliteMessageStore> store_ =
        std::make_shared<platform::SqliteMessageStore>(platform::MessageStoreOptions{cache_.filePath(QStringLiteral("tallyhive"))});
    std::unique_ptr<Form1> window_;
};

}  // namespace

TEST_F(EndToEndTest, SignInConnectsAndDisconnectKeepsOrForgetsTheUser)
{
    signIn(server().password());
    ASSERT_TRUE(window_->isConnected()) << qPrintable(boxes_.texts().join(u'|'));
    EXPECT_EQ(window_->statusText(),
              QStringLiteral("Connected to Windows Live Hotmail. Please select folder to extract emails from."));
    EXPECT_NE(window_->session().current, nullptr);
    window_->PushButton1_Click();
    EXPECT_FALSE(window_->isConnected());
    EXPECT_TRUE(control<QLineEdit>(*window_, "Text1")->text().isEmpty());

    control<QCheckBox>(*window_, "Check1")->setCheckState(Qt::Checked);
    signIn(server().password());
    window_->PushButton1_Click();
    EXPECT_EQ(control<QLineEdit>(*window_, "Text1")->text(), server().user());
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
    QFile logFile(errorLogPath());
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    const QByteArray log = logFile.readAll();
    EXPECT_TRUE(log.contains("[AUTHENTICATIONFAILED]")) << log.toStdString();
    EXPECT_FALSE(log.contains("not-the-password"));
}

TEST_F(EndToEndTest, GetAllListsEveryMessageTheServerHoldsAndTheWorkbookMatches)
{
    signIn(server().password());
    ASSERT_TRUE(window_->isConnected());
    control<QRadioButton>(*window_, "Option3")->click();
    window_->PushButton3_Click();
    EXPECT_EQ(boxes_.texts(), QStringList({"Done."}));

    const QStringList files = messageFiles(source_);
    ASSERT_FALSE(files.isEmpty());
    const std::vector<Expected> expected = expectedFor(files, ownCorpus_);
    ASSERT_EQ(expected.size(), size_t(files.size()));
    ASSERT_EQ(window_->listView().rowCount(), files.size());
    for (int row = 1; row <= files.size(); ++row) {
        const Expected& e = expected[size_t(row - 1)];
        SCOPED_TRACE(e.file.toStdString());
        const EmailRecord& record = window_->listView().record(row);
        EXPECT_EQ(record.s_From, e.from);
        EXPECT_EQ(record.s_FromName, e.fromName);
        EXPECT_EQ(record.s_FromAddress, e.fromAddress);
        EXPECT_EQ(record.s_Subject, e.subject);
        EXPECT_EQ(record.s_PlainText, e.plainText);
        EXPECT_EQ(record.s_HTMLText, e.htmlText);
        const auto shown = general_date::parse(record.s_ReceivedDate);
        ASSERT_TRUE(shown.has_value()) << qPrintable(record.s_ReceivedDate);
        if (e.date.isValid()) {
            EXPECT_EQ(shown->toUTC(), e.date.toUTC()) << qPrintable(record.s_ReceivedDate);
        }
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
    const QJsonObject cells = exportedCells();
    ASSERT_FALSE(cells.isEmpty());
    const auto text = [&cells](int row, int column) { return cellValue(cells, row, column); };
    EXPECT_EQ(text(1, 6), QStringLiteral("RecDate"));
    // Cell for cell, as a spreadsheet shows them, the body's pieces joined back into the body.
    for (int row = 1; row <= files.size(); ++row) {
        const Expected& e = expected[size_t(row - 1)];
        SCOPED_TRACE(e.file.toStdString());
        const int sheetRow = row + 1;
        for (const auto& [column, value] : e.sheet) {
            QString cell = text(sheetRow, column);
            for (int next = 7; column == 6 && cells.contains(cellName(sheetRow, next)); ++next)
                cell += text(sheetRow, next);
            EXPECT_EQ(cell, value) << column;
        }
        const QJsonObject date = cells[cellName(sheetRow, 5)].toObject();
        EXPECT_TRUE(date[u"date"].toBool());
        if (e.date.isValid()) {
            EXPECT_EQ(date[u"value"].toString(), e.date.toLocalTime().toString(Qt::ISODate));
        }
    }
}

TEST_F(EndToEndTest, GetAllThroughACutConnectionStillBringsEveryMessageToTheWorkbook)
{
    qputenv("TALLYHIVE_RECONNECT_DELAY_MS", "50");
    const QStringList files = messageFiles(source_);
    const qint64 whole = getAllThroughAWholeRelay();
    ASSERT_EQ(window_->listView().rowCount(), files.size());
    boxes_.shown.clear();

    // Cut three quarters of the way: how many bytes a run moves depends on
    // how its requests were batched, so a point near the end may never come.
    TcpRelay relay(server().host(), server().port(), {.cutAfterBytes = whole * 3 / 4, .cutConnection = 1});
    getAllThrough(relay);
    EXPECT_EQ(relay.cuts(), 1);
    EXPECT_EQ(relay.connections(), 2);  // the signed-in one the run goes on with, and one reconnect
    ASSERT_EQ(window_->listView().rowCount(), files.size());
    EXPECT_EQ(boxes_.texts(), QStringList({"Done."}));

    boxes_.shown.clear();
    window_->PushButton5_Click();
    window_->PushButton4_Click();
    const QJsonObject cells = exportedCells();
    const std::vector<Expected> expected = expectedFor(files, ownCorpus_);
    for (int row = 1; row <= files.size(); ++row) {
        const auto& sheet = expected[size_t(row - 1)].sheet;
        if (sheet.count(1)) {
            EXPECT_EQ(cellValue(cells, row + 1, 1), sheet.at(1)) << row;
        }
    }
    EXPECT_TRUE(cellValue(cells, files.size() + 2, 1).isEmpty());
}

TEST_F(EndToEndTest, GetAllWithReconnectsRefusedSaysWhatItCouldNotRead)
{
    qputenv("TALLYHIVE_RECONNECT_DELAY_MS", "50");
    const QStringList files = messageFiles(source_);
    const qint64 whole = getAllThroughAWholeRelay();
    boxes_.shown.clear();
    TcpRelay relay(server().host(), server().port(), {.cutAfterBytes = whole * 3 / 4, .cutConnection = 1, .acceptConnections = 1});
    getAllThrough(relay);
    const int listed = window_->listView().rowCount();
    ASSERT_LT(listed, files.size());
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_NE(boxes_.shown[0].text, QStringLiteral("Done."));
    EXPECT_TRUE(boxes_.shown[0].text.startsWith(QStringLiteral("Done, but %1 of the %2 messages").arg(files.size() - listed).arg(files.size())))
        << boxes_.shown[0].text.toStdString();
    EXPECT_FALSE(boxes_.shown[0].text.contains(server().password()));
}

TEST_F(EndToEndTest, RememberMeKeepsTheFolderForTheNextGetAllAndUntickingLeavesNothing)
{
    const QDir cache(cache_.filePath(QStringLiteral("tallyhive")));
    const auto subjects = [this] {
        QStringList all;
        for (int row = 1; row <= window_->listView().rowCount(); ++row)
            all << window_->listView().record(row).s_Subject + window_->listView().record(row).s_PlainText.text();
        return all;
    };
    // The store keeps a folder under the server's port too: one relay throughout.
    const TcpRelay relay(server().host(), server().port(), {});
    getAllThrough(relay);
    const QStringList unremembered = subjects();
    EXPECT_TRUE(cache.isEmpty());

    control<QCheckBox>(*window_, "Check1")->setCheckState(Qt::Checked);
    getAllThrough(relay);
    getAllThrough(relay);
    EXPECT_EQ(subjects(), unremembered);
    QFile log(logDir_.filePath(QStringLiteral("errorlog.txt")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll().count("kept from an earlier read"), unremembered.size());
    EXPECT_EQ(boxes_.texts(), QStringList({"Done.", "Done.", "Done."}));

    // Whatever the Live ID box holds by then.
    control<QLineEdit>(*window_, "Text1")->setText(QStringLiteral("someone.else"));
    control<QCheckBox>(*window_, "Check1")->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(cache.isEmpty()) << qPrintable(cache.entryList(QDir::Files).join(u' '));

    // Mail a run left behind goes at the next start that does not remember.
    window_.reset();
    store_->setInUse(true);
    store_->keep({server().user(), server().host(), relay.port(), "INBOX", 1, 1}, 1, EmailRecord{});
    store_->flush();
    ASSERT_FALSE(cache.isEmpty());
    settings_.set(QStringLiteral("StayConnected"), QStringLiteral("0"));
    window_ = std::make_unique<Form1>(Form1Services{boxes_, settings_, *spreadsheets_, imapServer_, deployment_, nullptr, nullptr, store_.get()});
    window_->Form_Load();
    EXPECT_TRUE(cache.isEmpty()) << qPrintable(cache.entryList(QDir::Files).join(u' '));
}
