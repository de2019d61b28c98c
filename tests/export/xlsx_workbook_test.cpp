#include "app/pending_events.h"
#include "export/send_to_excel.h"
#include "interfaces/error.h"
#include "platform/xlsx/xlsx_cell_text.h"
#include "platform/xlsx/xlsx_date_format.h"
#include "platform/xlsx/xlsx_export_file.h"
#include "platform/xlsx/xlsx_spreadsheet.h"
#include "support/fake_list_view.h"
#include "support/recording_message_boxes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tallyhive {
namespace {

using testing::FakeListView;

// The workbook as an independent reader (openpyxl) sees it.
QJsonObject readBack(const QString& path)
{
    QProcess python;
    const QString script = qEnvironmentVariable("TALLYHIVE_SOURCE_DIR", QStringLiteral(TALLYHIVE_TEST_DATA_DIR "/../.."))
        + QStringLiteral("/tests/export/read_workbook.py");
    // Debian's interpreter, which has python3-openpyxl; not whichever comes first on PATH.
    python.start(QStringLiteral("/usr/bin/python3"), {script, path});
    python.waitForFinished(60000);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

class XlsxWorkbookTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "xlsx_workbook_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    ~XlsxWorkbookTest() override { setPendingEventsObserver(nullptr); }

    QString exportDir() const { return temp.filePath(QStringLiteral("exports")); }
    QStringList exports() const { return QDir(exportDir()).entryList(QDir::Files | QDir::Hidden); }

    int addEmail(const QString& from, const QString& subject, const QString& date, const QString& body, bool checked)
    {
        const QDateTime at = general_date::parse(date).value_or(QDateTime());
        const int row = list.addRow({from, "Name", "a@example.com", subject, date, body, {}, at});
        list.setChecked(row, checked);
        return row;
    }

    void run() { SendToExcel(list, spreadsheets, boxes, [] {}); }

    QTemporaryDir temp;
    FakeListView list = FakeListView::withStandardColumns();
    platform::XlsxSpreadsheetFactory spreadsheets{platform::WorkbookOptions{exportDir(), false}};
    testing::RecordingMessageBoxes boxes;
};

TEST_F(XlsxWorkbookTest, ExportedRowsReadBackAsTextDatesAndFittedColumns)
{
    // The list's dates are in the general format of the user's locale; this one is stated here.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString received = QStringLiteral("12/7/2026 8:55:01 PM");
    const QString midnight = QStringLiteral("1/2/2026");
    const QString halfAMinutePast = QStringLiteral("1/2/2026 12:00:30 AM");
    QString longBody(3000, u'x');
    longBody[1022] = u'=';
    addEmail(QStringLiteral("=cmd|' /C calc'!A0"), QStringLiteral("a=b"), received, QStringLiteral("=1+1"), true);
    addEmail(QStringLiteral("skipped"), QStringLiteral("s"), received, QStringLiteral("b"), false);
    addEmail(QStringLiteral("Ann"), QStringLiteral("long"), QStringLiteral("not a date"), longBody, true);
    addEmail(QStringLiteral("'quoted"), QStringLiteral("s"), midnight, QString(), true);
    addEmail(QStringLiteral("+44 20 7946 0000"), QStringLiteral("-x"), halfAMinutePast, QStringLiteral("@SUM(A1)"), true);
    run();
    QLocale::setDefault(before);
    EXPECT_EQ(boxes.texts(), QStringList{"Done."});
    ASSERT_EQ(exports().size(), 1);
    EXPECT_TRUE(exports().first().startsWith(QStringLiteral("Tallyhive ")));

    const QJsonObject book = readBack(QDir(exportDir()).filePath(exports().first()));
    EXPECT_EQ(book[u"sheets"].toInt(), 1);
    const QJsonObject cells = book[u"cells"].toObject();
    auto cell = [&](const char* at) { return cells[QLatin1String(at)].toObject(); };
    auto text = [&](const char* at) { return cell(at)[u"value"].toString(); };

    EXPECT_EQ(text("A1"), QStringLiteral("From"));
    EXPECT_EQ(text("F1"), QStringLiteral("RecDate"));
    // No cell becomes a formula, column 1 included.
    for (const QString& at : cells.keys())
        EXPECT_NE(cells[at].toObject()[u"type"].toString(), QStringLiteral("f")) << at.toStdString();
    EXPECT_EQ(text("A2"), QStringLiteral("=cmd|' /C calc'!A0"));
    EXPECT_EQ(text("D2"), QStringLiteral("ab"));
    EXPECT_EQ(text("F2"), QStringLiteral("=1+1"));
    // What looks like a formula stays text when the user edits it, column 1 included.
    EXPECT_TRUE(cell("F2")[u"text"].toBool());
    EXPECT_TRUE(cell("A2")[u"text"].toBool());
    EXPECT_FALSE(cell("D2")[u"text"].toBool());

    EXPECT_TRUE(cell("E2")[u"date"].toBool());
    EXPECT_EQ(text("E2"), QStringLiteral("2026-12-07T20:55:01"));
    EXPECT_EQ(cell("E2")[u"format"].toString(), QStringLiteral("m/d/yyyy h:mm:ss AM/PM"));
    EXPECT_TRUE(cell("E5")[u"date"].toBool());
    EXPECT_EQ(cell("E5")[u"format"].toString(), QStringLiteral("m/d/yyyy"));
    // Half a minute past midnight is not midnight: the time stays.
    EXPECT_EQ(text("E6"), QStringLiteral("2026-01-02T00:00:30"));
    EXPECT_EQ(cell("E6")[u"format"].toString(), QStringLiteral("m/d/yyyy h:mm:ss AM/PM"));
    // Every character a spreadsheet reads as the start of a formula keeps the text its own.
    for (const char* lead : {"A6", "D6", "F6"})
        EXPECT_TRUE(cell(lead)[u"text"].toBool()) << lead;
    EXPECT_EQ(text("A6"), QStringLiteral("+44 20 7946 0000"));
    EXPECT_EQ(text("D6"), QStringLiteral("-x"));
    EXPECT_EQ(text("F6"), QStringLiteral("@SUM(A1)"));
    EXPECT_FALSE(cell("E4")[u"date"].toBool());
    EXPECT_EQ(text("E4"), QStringLiteral("not a date"));

    for (const char* empty : {"A3", "B3", "C3", "D3", "E3", "F3"})
        EXPECT_FALSE(cells.contains(QLatin1String(empty))) << empty;

    EXPECT_EQ(text("F4"), longBody.left(1022));
    EXPECT_EQ(text("G4"), longBody.mid(1022, 1022));
    EXPECT_TRUE(cell("G4")[u"text"].toBool());
    EXPECT_EQ(text("H4"), longBody.mid(2044));
    // A leading apostrophe is the cell's own text, never taken for a quote prefix.
    EXPECT_EQ(text("A5"), QStringLiteral("'quoted"));
    EXPECT_TRUE(cell("A5")[u"text"].toBool());
    for (const QString& at : cells.keys())
        EXPECT_FALSE(cells[at].toObject()[u"quote"].toBool()) << at.toStdString();

    // Widths set after the streamed rows still arrive.
    const QJsonObject widths = book[u"widths"].toObject();
    for (const char* column : {"A", "B", "C", "D", "E", "F", "G", "H"})
        EXPECT_GT(widths[QLatin1String(column)].toDouble(), 0.0) << column;
    EXPECT_GT(widths[u"A"].toDouble(), widths[u"B"].toDouble());
    // A spreadsheet stores its widest column, 255 characters, with its padding.
    EXPECT_NEAR(widths[u"F"].toDouble(), 255.7, 0.1);
}

TEST_F(XlsxWorkbookTest, AFolderThatCannotBeMadeGivesOneReportAndNoDone)
{
    QFile blocker(temp.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString unusable = blocker.fileName() + QStringLiteral("/exports");
    platform::XlsxSpreadsheetFactory unusableFolder({unusable, false});
    addEmail(QStringLiteral("Ann"), QStringLiteral("s"), QStringLiteral("x"), QStringLiteral("b"), true);
    SendToExcel(list, unusableFolder, boxes, [] {});
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Application Error"));
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("The export folder %1 cannot be created or written to.").arg(unusable)));
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("in TallyhiveApp2/19/20152/16/2015.Form1.PushButton4_Click at line 106")));
    EXPECT_TRUE(QFileInfo(blocker.fileName()).isFile());
}

TEST_F(XlsxWorkbookTest, AWorkbookThatCannotBeWrittenLeavesNothingBehind)
{
    addEmail(QStringLiteral("Ann"), QStringLiteral("s"), QStringLiteral("x"), QStringLiteral("b"), true);
    // The folder vanishes while the export runs, so the final write fails.
    setPendingEventsObserver([this] { QDir(exportDir()).removeRecursively(); });
    run();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("in TallyhiveApp2/19/20152/16/2015.Form1.PushButton4_Click at line 180")));
    EXPECT_FALSE(QDir(exportDir()).exists());
}

TEST_F(XlsxWorkbookTest, AnUnfinishedWorkbookIsDiscarded)
{
    {
        platform::XlsxSpreadsheet sheet(exportDir(), QDateTime::currentDateTime(), false);
        sheet.addWorkbook();
        sheet.setCell(1, 1, QStringLiteral("x"), platform::CellQuote::None);
        EXPECT_THROW(sheet.setCell(1, 16385, QStringLiteral("x"), platform::CellQuote::None), AppError);
    }
    EXPECT_TRUE(exports().isEmpty());
}

TEST_F(XlsxWorkbookTest, TheFolderHoldsNoFileUntilTheWorkbookIsComplete)
{
    for (int i = 0; i < 3; ++i)
        addEmail(QStringLiteral("Ann"), QStringLiteral("s"), QStringLiteral("x"), QStringLiteral("b"), true);
    // A program closed at any of these points, even abruptly, leaves nothing behind.
    QStringList seen;
    setPendingEventsObserver([&] { seen += exports(); });
    run();
    EXPECT_TRUE(seen.isEmpty()) << qPrintable(seen.join(u'|'));
    ASSERT_EQ(exports().size(), 1);
    EXPECT_TRUE(exports().first().startsWith(QStringLiteral("Tallyhive ")));
    EXPECT_TRUE(exports().first().endsWith(QStringLiteral(".xlsx")));
}

TEST_F(XlsxWorkbookTest, CellsHoldTheirTextExactlyWhereXmlAllowsAndReplacementCharactersElsewhere)
{
    const QString unpaired = QString(QChar(0xD800)) + u'x' + QChar(0xDC00);
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString controls = QStringLiteral("NUL") + QChar(0) + QStringLiteral("here\x01\x0B\x1F") + QChar(0xFFFE)
        + QChar(0xFFFF) + unpaired;
    addEmail(QStringLiteral("'Ann' <ann@example.com>"), controls, QStringLiteral("x"),
             QStringLiteral("'Tis a body\twith _x0041_ and _X0041_ and _x005F_ kept\r\n") + smile, true);
    run();
    EXPECT_EQ(boxes.texts(), QStringList{"Done."});
    const QJsonObject cells = readBack(QDir(exportDir()).filePath(exports().first()))[u"cells"].toObject();
    auto text = [&](const char* at) { return cells[QLatin1String(at)].toObject()[u"value"].toString(); };
    EXPECT_EQ(text("A2"), QStringLiteral("'Ann' <ann@example.com>"));
    const QString replaced(QChar::ReplacementCharacter);
    EXPECT_EQ(text("D2"), QStringLiteral("NUL") + replaced + QStringLiteral("here") + replaced.repeated(5) + replaced
                              + u'x' + replaced);
    EXPECT_EQ(text("F2"), QStringLiteral("'Tis a body\twith _x0041_ and _X0041_ and _x005F_ kept\r\n") + smile);
    EXPECT_TRUE(cells[u"F2"].toObject()[u"text"].toBool());
}

TEST(XlsxExportFile, ExportsInTheSameSecondGetTheirOwnFiles)
{
    QTemporaryDir temp;
    const QDateTime now(QDate(2026, 12, 7), QTime(20, 55, 1));
    const QString folder = temp.filePath(QStringLiteral("a/b"));
    platform::ExportFile firstFile(folder, now);
    platform::ExportFile secondFile(folder, now);
    firstFile.create();
    secondFile.create();
    const QString first = firstFile.claimName();
    const QString second = secondFile.claimName();
    EXPECT_EQ(QFileInfo(first).fileName(), QStringLiteral("Tallyhive 2026-12-07 20.55.01.xlsx"));
    EXPECT_EQ(QFileInfo(second).fileName(), QStringLiteral("Tallyhive 2026-12-07 20.55.01 (2).xlsx"));
    EXPECT_TRUE(QFile::exists(first));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(XlsxExportFile, ANameTakenAtTheLastMomentIsPassedOverAndNoLinkIsFollowed)
{
    QTemporaryDir temp;
    const QDateTime now(QDate(2026, 12, 7), QTime(20, 55, 1));
    platform::ExportFile file(temp.path(), now);
    file.create();
    // Both appear after the export chose its name, just before it is taken.
    const QString taken = temp.filePath(QStringLiteral("Tallyhive 2026-12-07 20.55.01.xlsx"));
    const QString link = temp.filePath(QStringLiteral("Tallyhive 2026-12-07 20.55.01 (2).xlsx"));
    const QString linkTarget = temp.filePath(QStringLiteral("target.xlsx"));
    {
        QFile other(taken);
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
        other.write("theirs");
    }
    // Before the file is written, another user swaps any other name it has for a link to that file.
    for (const QString& name : QDir(temp.path()).entryList(QDir::Files | QDir::Hidden | QDir::System))
        ASSERT_TRUE(temp.filePath(name) == taken || (QFile::remove(temp.filePath(name)) && QFile::link(taken, temp.filePath(name))));
    ASSERT_TRUE(QFile::link(linkTarget, link));
    {
        QFile written(file.writePath());
        ASSERT_TRUE(written.open(QIODevice::WriteOnly));
        written.write("ours");
    }

    const QString claimed = file.claimName();
    EXPECT_EQ(QFileInfo(claimed).fileName(), QStringLiteral("Tallyhive 2026-12-07 20.55.01 (3).xlsx"));
    const auto contents = [](const QString& path) {
        QFile read(path);
        return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
    };
    EXPECT_EQ(contents(claimed), QByteArray("ours"));
    EXPECT_EQ(contents(taken), QByteArray("theirs"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_FALSE(QFile::exists(linkTarget));
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size(), 3);
}

// Texts are scanned in blocks; what is to be replaced or escaped must be
// found wherever it falls, also across a block's edge.
TEST(XlsxCellText, EveryPositionIsCheckedAndWholePairsAreKept)
{
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString replaced(QChar::ReplacementCharacter);
    const std::vector<std::pair<QString, QString>> cases{
        {QString(QChar(0)), replaced},
        {QStringLiteral("\x1B"), replaced},
        {QString(QChar(0xFFFF)), replaced},
        {QString(QChar(0xD83D)), replaced},
        {QString(QChar(0xDE00)), replaced},
        {smile, smile},
        {QStringLiteral("_x0041_"), QStringLiteral("_x005F_x0041_")},
        {QStringLiteral("_x00G1_"), QStringLiteral("_x00G1_")},
        {QStringLiteral("\t\r\n_"), QStringLiteral("\t\r\n_")},
    };
    for (const auto& [inside, stored] : cases) {
        for (int before = 0; before <= 70; ++before) {
            const QString text = QString(before, u'a') + inside + QString(70 - before, u'b');
            EXPECT_EQ(QString::fromUtf8(platform::cellUtf8(text)), QString(before, u'a') + stored + QString(70 - before, u'b'))
                << before;
        }
    }
    // A text cut off in the middle of an escape is no escape.
    EXPECT_EQ(platform::cellUtf8(QStringLiteral("ab_x004")), QByteArray("ab_x004"));
}

TEST(XlsxDateFormat, QtPatternsBecomeSpreadsheetNumberFormats)
{
    EXPECT_EQ(platform::excelDateFormat(QStringLiteral("M/d/yyyy h:mm:ss AP")), QStringLiteral("m/d/yyyy h:mm:ss AM/PM"));
    EXPECT_EQ(platform::excelDateFormat(QStringLiteral("dd.MM.yyyy HH:mm:ss")), QStringLiteral("dd.mm.yyyy hh:mm:ss"));
    EXPECT_EQ(platform::excelDateFormat(QStringLiteral("d MMM yyyy")), QStringLiteral("d mmm yyyy"));
    EXPECT_EQ(platform::excelDateFormat(QStringLiteral("HH:mm:ss.zzz t")), QStringLiteral("hh:mm:ss.000"));
    EXPECT_EQ(platform::excelDateFormat(QStringLiteral("d.MM.yyyy 'g'. H:mm:ss")),
              QStringLiteral("d.mm.yyyy\" g. \"h:mm:ss"));
    EXPECT_EQ(platform::excelDateFormat(QStringLiteral("yyyy/MM/dd H\u6642mm\u5206")),
              QStringLiteral("yyyy/mm/dd h\"\u6642\"mm\"\u5206\""));
}

}  // namespace
}  // namespace tallyhive
