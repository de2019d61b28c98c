#include "app/pending_events.h"
#include "export/export_error_extension.h"
#include "export/send_to_excel.h"
#include "export/sheet_limits.h"
#include "recording_spreadsheet.h"
#include "support/fake_list_view.h"
#include "support/recording_message_boxes.h"

#include <gtest/gtest.h>

namespace tallyhive {
namespace {

using testing::FakeListView;

class SendToExcelTest : public ::testing::Test {
protected:
    ~SendToExcelTest() override { setPendingEventsObserver(nullptr); }

    // One listed message.
    int addEmail(const QString& from, const QString& subject, const QString& body, bool checked = true)
    {
        const QString n = QString::number(list.rowCount() + 1);
        const int row = list.addRow({from, "Name=" + n, "a" + n + "@example.com", subject, "1/2/2026 3:04:05 PM", body, {},
                                     QDateTime(QDate(2026, 1, 2), QTime(15, 4, 5))});
        list.setChecked(row, checked);
        return row;
    }

    void run() { SendToExcel(list, spreadsheets, boxes, [this] { ++pointerRestores; }); }

    QStringList boxTexts() const { return boxes.texts(); }
    bool saidDone() const { return boxTexts().contains(QStringLiteral("Done.")); }
    testing::SpreadsheetRecord& sheet() { return spreadsheets.record; }

    FakeListView list = FakeListView::withStandardColumns();
    testing::RecordingSpreadsheetFactory spreadsheets;
    testing::RecordingMessageBoxes boxes;
    int pointerRestores = 0;
};

// The "Application Error" box of Send To Excel as the user reads it.
QString errorBox(const QString& description, int line, const QString& emailPart = {})
{
    return description + QStringLiteral("\r\nin TallyhiveApp2/19/20152/16/2015.Form1.PushButton4_Click at line ")
        + QString::number(line) + QStringLiteral("\r\rPlease email screenshot of this message to support@corvanta.com")
        + emailPart;
}

// What the box adds about the email whose body was being written.
QString emailLines(const QString& subject, const QString& bodyLeft)
{
    return QStringLiteral("\rSubject: ") + subject + QStringLiteral("\r\rMid(EmailCollection(i).s_PlainText, 1, 1022): ")
        + bodyLeft.left(1022) + QStringLiteral("\rEmailCollection(i).s_PlainText: ") + bodyLeft;
}

TEST(ExportErrorExtension, CarriesSubjectAndTheBodyNotYetWritten)
{
    const QString body(1500, u'x');
    const QString extension = exportErrorExtension(QStringLiteral("Hello"), body);
    EXPECT_EQ(extension, QStringLiteral("\rSubject: Hello\r\rMid(EmailCollection(i).s_PlainText, 1, 1022): ")
                             + QString(1022, u'x') + QStringLiteral("\rEmailCollection(i).s_PlainText: ") + body);
}

TEST_F(SendToExcelTest, EmptyListGivesTheTitleRowAndDone)
{
    run();
    EXPECT_EQ(sheet().calls.join(u','),
              QStringLiteral("create,addWorkbook,visible,cell 1 1,cell 1 2,cell 1 3,cell 1 4,cell 1 5,cell 1 6,"
                             "autoFit,finish"));
    EXPECT_EQ(sheet().row(1).at(6), QStringLiteral("RecDate"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Done."));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Tallyhive"));
    EXPECT_EQ(pointerRestores, 1);
}

TEST_F(SendToExcelTest, ChosenColumnsComeBeforeTheBodyWholeWithTheSizeAsANumber)
{
    list.insertColumn(6, QStringLiteral("Size"), RecordField::Size);
    list.insertColumn(7, QStringLiteral("Message-ID"), RecordField::MessageId);
    list.insertColumn(8, QStringLiteral("Folder"), RecordField::Folder);
    const int row = addEmail(QStringLiteral("Ann"), QStringLiteral("a=b"), QStringLiteral("=1+1"));
    EmailRecord& mail = list.rows.at(size_t(row - 1)).record;
    mail.size = 2048;
    mail.messageId = QStringLiteral("<CA+x=y@mail.example>");
    mail.folder = QStringLiteral("=Sent");
    run();
    EXPECT_EQ(sheet().row(1), (std::map<int, QString>{{1, "From"}, {2, "From Name"}, {3, "From Address"}, {4, "Subject"},
                                                      {5, "Received Date"}, {6, "Size"}, {7, "Message-ID"}, {8, "Folder"},
                                                      {9, "RecDate"}}));
    EXPECT_EQ(sheet().row(2), (std::map<int, QString>{{1, "Ann"}, {2, "Name1"}, {3, "a1@example.com"}, {4, "ab"},
                                                      {5, "1/2/2026 3:04:05 PM"}, {6, "2048"}, {7, "<CA+x=y@mail.example>"},
                                                      {8, "=Sent"}, {9, "=1+1"}}));
    EXPECT_EQ(sheet().numbers, (std::set<std::pair<int, int>>{{2, 6}}));
    EXPECT_EQ(sheet().quoted, (std::set<std::pair<int, int>>{{2, 9}}));
}

TEST_F(SendToExcelTest, UncheckedRowsKeepTheirSheetRowsEmpty)
{
    for (int i = 1; i <= 4; ++i)
        addEmail(QStringLiteral("s%1").arg(i), QStringLiteral("subject"), QStringLiteral("body"), i == 2 || i == 4);
    run();
    EXPECT_TRUE(sheet().row(2).empty());
    EXPECT_TRUE(sheet().row(4).empty());
    EXPECT_EQ(sheet().row(3).at(1), QStringLiteral("s2"));
    EXPECT_EQ(sheet().row(5).at(1), QStringLiteral("s4"));
    EXPECT_TRUE(saidDone());
}

TEST_F(SendToExcelTest, EqualsSignsAreRemovedOnlyFromTheMiddleColumns)
{
    addEmail(QStringLiteral("=HYPERLINK(\"x\")"), QStringLiteral("a=b=c"), QStringLiteral("plain"));
    run();
    const auto row = sheet().row(2);
    ASSERT_EQ(row.size(), 6u);
    EXPECT_EQ(row.at(1), QStringLiteral("=HYPERLINK(\"x\")"));
    EXPECT_EQ(row.at(2), QStringLiteral("Name1"));
    EXPECT_EQ(row.at(4), QStringLiteral("abc"));
    EXPECT_EQ(row.at(5), QStringLiteral("1/2/2026 3:04:05 PM"));
    // Column 6 holds the body; the hidden RecDate text is never exported.
    EXPECT_EQ(row.at(6), QStringLiteral("plain"));
}

// Body length -> the lengths of the pieces written from column 6 on.
struct PieceCase {
    int length;
    std::vector<int> pieces;
};

class BodyPiecesTest : public SendToExcelTest, public ::testing::WithParamInterface<PieceCase> {};

TEST_P(BodyPiecesTest, BodyIsCutWithoutLosingOrRepeatingCharacters)
{
    QString body;
    for (int i = 0; i < GetParam().length; ++i)
        body += QChar(u'a' + i % 26);
    addEmail(QStringLiteral("s"), QStringLiteral("t"), body);
    run();
    const auto row = sheet().row(2);
    QString joined;
    for (std::size_t i = 0; i < GetParam().pieces.size(); ++i) {
        const QString& piece = row.at(6 + static_cast<int>(i));
        EXPECT_EQ(piece.size(), GetParam().pieces[i]) << "column " << 6 + i;
        joined += piece;
    }
    EXPECT_EQ(row.size(), 5 + GetParam().pieces.size());
    EXPECT_EQ(joined, body);
}

INSTANTIATE_TEST_SUITE_P(Lengths, BodyPiecesTest,
                         ::testing::Values(PieceCase{0, {0}}, PieceCase{1, {1}}, PieceCase{1023, {1023}},
                                           PieceCase{1024, {1022, 2}}, PieceCase{2045, {1022, 1023}},
                                           PieceCase{2046, {1022, 1022, 2}}));

TEST_F(SendToExcelTest, PiecesBeginningWithEqualsAreQuotedAndKeepTheirText)
{
    QString longBody(3000, u'x');
    longBody[1022] = u'=';
    addEmail(QStringLiteral("=sender"), QStringLiteral("t"), QStringLiteral("=1+1"));
    addEmail(QStringLiteral("s"), QStringLiteral("t"), longBody);
    run();
    EXPECT_EQ(sheet().row(2).at(6), QStringLiteral("=1+1"));
    EXPECT_EQ(sheet().quoted, (std::set<std::pair<int, int>>{{2, 6}, {3, 7}}));
    const auto row = sheet().row(3);
    EXPECT_EQ(row.at(6), longBody.left(1022));
    EXPECT_EQ(row.at(7), longBody.mid(1022, 1022));
    EXPECT_EQ(row.at(8), longBody.mid(2044));
    EXPECT_EQ(row.size(), 8u);
}

TEST_F(SendToExcelTest, LeadingApostrophesAreTextAndJoinedPiecesGiveBackTheBody)
{
    QString body = QStringLiteral("'quoted start");
    body += QString(1022 - body.size(), u'x') + QStringLiteral("'second piece =and more");
    addEmail(QStringLiteral("'sender"), QStringLiteral("'tis the subject"), body);
    run();
    const auto row = sheet().row(2);
    EXPECT_EQ(row.at(1), QStringLiteral("'sender"));
    EXPECT_EQ(row.at(4), QStringLiteral("'tis the subject"));
    EXPECT_EQ(row.at(6) + row.at(7), body);
    EXPECT_TRUE(sheet().quoted.empty());
}

TEST_F(SendToExcelTest, ACutNeverSplitsACharacterMadeOfTwoUnits)
{
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString body = QString(1021, u'a') + smile + QString(10, u'b');
    addEmail(QStringLiteral("s"), QStringLiteral("t"), body);
    run();
    const auto row = sheet().row(2);
    EXPECT_EQ(row.at(6), QString(1021, u'a'));
    EXPECT_EQ(row.at(7), smile + QString(10, u'b'));
}

TEST_F(SendToExcelTest, EveryListRowIsAnnouncedOnceBeforeItIsWritten)
{
    for (int i = 1; i <= 3; ++i)
        addEmail(QStringLiteral("s%1").arg(i), QStringLiteral("t"), QStringLiteral("b"), i != 2);
    std::vector<std::pair<int, int>> reached;
    int writtenEarly = 0;
    SendToExcel(list, spreadsheets, boxes, [] {}, [&](int row, int rows) {
        reached.emplace_back(row, rows);
        writtenEarly += static_cast<int>(sheet().row(row + 1).size());
    });
    EXPECT_EQ(reached, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(writtenEarly, 0);
    EXPECT_EQ(sheet().row(4).size(), 6u);
}

TEST_F(SendToExcelTest, CheckMarksAreReadWhenTheirRowIsReached)
{
    for (int i = 1; i <= 3; ++i)
        addEmail(QStringLiteral("s%1").arg(i), QStringLiteral("t"), QStringLiteral("b"), i == 1);
    bool changed = false;
    setPendingEventsObserver([&] {
        // While row 1 is exported the user ticks row 3, and a new row arrives
        // that the export, having counted its rows, must not reach.
        if (!changed && sheet().cells.count({2, 1})) {
            changed = true;
            list.setChecked(3, true);
            addEmail(QStringLiteral("late"), QStringLiteral("t"), QStringLiteral("b"));
        }
    });
    run();
    EXPECT_TRUE(changed);
    EXPECT_EQ(sheet().row(2).at(1), QStringLiteral("s1"));
    EXPECT_TRUE(sheet().row(3).empty());
    EXPECT_EQ(sheet().row(4).at(1), QStringLiteral("s3"));
    EXPECT_TRUE(sheet().row(5).empty());
    EXPECT_TRUE(saidDone());
}

TEST_F(SendToExcelTest, AListClearedDuringTheExportEndsItQuietly)
{
    for (int i = 1; i <= 3; ++i)
        addEmail(QStringLiteral("s%1").arg(i), QStringLiteral("t"), QStringLiteral("b"));
    setPendingEventsObserver([&] {
        if (sheet().cells.count({2, 2}))
            list.removeAllRows();
    });
    run();
    EXPECT_EQ(sheet().row(2).size(), 2u);
    EXPECT_TRUE(sheet().row(3).empty());
    EXPECT_EQ(boxTexts(), QStringList{"Done."});
}

TEST_F(SendToExcelTest, AFailedCellIsReportedWithTheUnwrittenBodyAndTheRowGoesOn)
{
    addEmail(QStringLiteral("s"), QStringLiteral("first"), QStringLiteral("short"));
    const QString body = QString(1022, u'a') + QString(1500, u'b');
    addEmail(QStringLiteral("s"), QStringLiteral("Quarterly"), body);
    sheet().failingCells = {{3, 7}};
    run();
    ASSERT_EQ(boxes.shown.size(), 2u);
    const QString remaining = body.mid(1022);
    EXPECT_EQ(boxes.shown[0].text,
              errorBox(QStringLiteral("cell 3 7 failed"), 168, emailLines(QStringLiteral("Quarterly"), remaining)));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Application Error"));
    EXPECT_EQ(boxes.shown[0].icon, platform::BoxIcon::Exclamation);
    EXPECT_TRUE(boxes.shown[0].text.contains(
        QStringLiteral("\rSubject: Quarterly\r\rMid(EmailCollection(i).s_PlainText, 1, 1022): ") + remaining.left(1022)
        + QStringLiteral("\rEmailCollection(i).s_PlainText: ") + remaining));
    // The cell after the failed one is still written, and the export succeeds.
    EXPECT_EQ(sheet().row(3).at(8), body.mid(2044));
    EXPECT_EQ(boxes.shown[1].text, QStringLiteral("Done."));
}

TEST_F(SendToExcelTest, AFailureBeforeTheRowsCarriesNoEmailLines)
{
    addEmail(QStringLiteral("s"), QStringLiteral("t"), QStringLiteral("b"));
    sheet().failingCells = {{1, 4}, {2, 1}};
    run();
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].text,
              errorBox(QStringLiteral("cell 1 4 failed"), 116));
    // Before any body piece is written the report shows the whole body.
    EXPECT_EQ(boxes.shown[1].text, errorBox(QStringLiteral("cell 2 1 failed"), 134, emailLines(QStringLiteral("t"), QStringLiteral("b"))));
    EXPECT_EQ(boxes.shown[2].text, QStringLiteral("Done."));
}

TEST_F(SendToExcelTest, AWorkbookThatCannotBeStartedOrWrittenGivesOneReportAndNoDone)
{
    for (int i = 1; i <= 50; ++i)
        addEmail(QStringLiteral("s"), QStringLiteral("t"), QStringLiteral("b"));
    const struct {
        const char* failing;
        int line;
    } rows[] = {{"create", 106}, {"addWorkbook", 108}, {"finish", 180}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.failing);
        boxes.shown.clear();
        sheet() = {};
        sheet().failingCalls = {QString::fromUtf8(row.failing)};
        run();
        EXPECT_EQ(boxTexts(), QStringList{errorBox(QString::fromUtf8(row.failing) + QStringLiteral(" failed"), row.line)});
        EXPECT_EQ(sheet().calls.last(), QString::fromUtf8(row.failing));
    }
    EXPECT_EQ(pointerRestores, 3);
}

TEST_F(SendToExcelTest, ABodyWiderThanASheetIsRefusedBeforeAnythingIsWritten)
{
    addEmail(QStringLiteral("s"), QStringLiteral("t"), QStringLiteral("b"));
    const QString huge(1022 * (sheet_limits::Columns - 5) + 2, u'x');  // one piece too many
    addEmail(QStringLiteral("s"), QStringLiteral("t"), huge);
    run();
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("The email in row 2 of the list is too long for one worksheet row. Uncheck it and try again. Nothing was exported.")});
    EXPECT_TRUE(sheet().calls.isEmpty());
    EXPECT_EQ(pointerRestores, 1);

    // Unchecked, it is no obstacle; one piece shorter, it fits exactly.
    boxes.shown.clear();
    list.setChecked(2, false);
    run();
    EXPECT_EQ(boxTexts(), QStringList{"Done."});
    list.setChecked(2, true);
    list.rows[1].record.s_PlainText = huge.chopped(2);
    sheet() = {};
    boxes.shown.clear();
    run();
    EXPECT_EQ(boxTexts(), QStringList{"Done."});
    EXPECT_EQ(sheet().row(3).rbegin()->first, sheet_limits::Columns);
}

TEST_F(SendToExcelTest, ABodyTooWideCheckedDuringTheExportIsReportedOnce)
{
    addEmail(QStringLiteral("s"), QStringLiteral("t"), QStringLiteral("b"));
    addEmail(QStringLiteral("wide"), QStringLiteral("t"), QString(1022 * sheet_limits::Columns, u'x'), false);
    setPendingEventsObserver([&] { list.setChecked(2, true); });
    run();
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("The body of the email in row 2 of the list is too long for one worksheet row and was not exported.\r\n"
                                                              "in TallyhiveApp2/19/20152/16/2015.Form1.PushButton4_Click at line 166")));
    EXPECT_EQ(sheet().row(3).size(), 5u);
    EXPECT_EQ(boxes.shown[1].text, QStringLiteral("Done."));
}

// A list as long as a sheet, without keeping a million rows in memory.
class LongListView : public FakeListView {
public:
    int rowCount() const override { return sheet_limits::Rows; }
    bool isChecked(int row) const override { return row == checkedRow; }
    const EmailRecord& record(int) const override { return shown; }
    int checkedRow = 1;
    EmailRecord shown{QStringLiteral("x")};
};

TEST_F(SendToExcelTest, RowsBeyondTheSheetAreRefused)
{
    LongListView longList;
    for (int column = 1; column <= list.columnCount(); ++column)
        longList.addColumn(list.columnTitle(column), list.columnField(column));
    longList.checkedRow = sheet_limits::Rows;
    SendToExcel(longList, spreadsheets, boxes, [] {});
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("The checked emails do not fit on one worksheet, which holds 1048575 rows below its titles. "
                                                     "Uncheck the rows after row 1048575 and try again. Nothing was exported.")});
    EXPECT_TRUE(sheet().calls.isEmpty());

    boxes.shown.clear();
    longList.checkedRow = sheet_limits::Rows - 1;
    SendToExcel(longList, spreadsheets, boxes, [] {});
    EXPECT_EQ(boxTexts(), QStringList{"Done."});
    EXPECT_EQ(sheet().row(sheet_limits::Rows).at(1), QStringLiteral("x"));
}

}  // namespace
}  // namespace tallyhive
