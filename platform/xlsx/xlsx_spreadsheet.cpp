#include "platform/xlsx/xlsx_spreadsheet.h"

#include "app/general_date.h"
#include "app/texts.h"
#include "interfaces/error.h"
#include "platform/xlsx/xlsx_cell_text.h"
#include "platform/xlsx/xlsx_date_format.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QUrl>

#include <xlsxwriter.h>

#include <algorithm>

namespace tallyhive::platform {
namespace {

// A spreadsheet's own auto-fit leaves a little room beside the text and stops at 255.
constexpr double WidthPadding = 2.0;
constexpr double MaxWidth = 255.0;

QString nativePath(const QString& path) { return QDir::toNativeSeparators(path); }

void check(lxw_error result, const QString& context)
{
    if (result != LXW_NO_ERROR)
        throw AppError(context + QStringLiteral(": ") + QString::fromUtf8(lxw_strerror(result)));
}

// A cell's place in a report, made only when there is one to make: cells are
// written by the ten thousand.
QString cellPlace(int row, int column) { return QStringLiteral("(%1, %2)").arg(row).arg(column); }

void checkCell(lxw_error result, int row, int column)
{
    if (result != LXW_NO_ERROR)
        check(result, texts::CellNotWritten + cellPlace(row, column));
}

lxw_format* numberFormat(lxw_workbook* workbook, const QString& excelFormat)
{
    lxw_format* format = workbook_add_format(workbook);
    if (format)
        format_set_num_format(format, excelFormat.toUtf8().constData());
    return format;
}

}  // namespace

XlsxSpreadsheet::XlsxSpreadsheet(const QString& folder, const QDateTime& startedAt, bool openWhenFinished)
    : file_(folder, startedAt), openWhenFinished_(openWhenFinished)
{
}

XlsxSpreadsheet::~XlsxSpreadsheet() { discard(); }

void XlsxSpreadsheet::discard()
{
    if (workbook_)
        lxw_workbook_free(workbook_);
    workbook_ = nullptr;
    sheet_ = nullptr;
    scratch_.reset();
    file_.discard();
}

void XlsxSpreadsheet::addWorkbook()
{
    if (workbook_)
        return;
    lxw_workbook_options options{};
    // Rows go to a temporary file as they are finished, so a big export does
    // not grow in memory; the export writes rows in order, as this needs.
    options.constant_memory = LXW_TRUE;
    scratch_.emplace();
    const QByteArray scratch = QFile::encodeName(scratch_->path());
    options.tmpdir = const_cast<char*>(scratch.constData());  // copied by the library
    // The library only notes the path here and opens it when it closes.
    const QByteArray fileName = QFile::encodeName(file_.writePath());
    if (scratch_->isValid())
        workbook_ = workbook_new_opt(fileName.constData(), &options);
    if (workbook_)
        sheet_ = workbook_add_worksheet(workbook_, nullptr);
    if (workbook_) {
        text_ = numberFormat(workbook_, QStringLiteral("@"));
        dateTime_ = numberFormat(workbook_, excelDateFormat(general_date::dateTimePattern()));
        dateOnly_ = numberFormat(workbook_, excelDateFormat(general_date::datePattern()));
    }
    if (!sheet_ || !text_ || !dateTime_ || !dateOnly_) {
        discard();
        throw AppError(texts::WorkbookNotCreated.arg(file_.displayPath()));
    }
}

void XlsxSpreadsheet::setVisible(bool visible) { visible_ = visible; }

void XlsxSpreadsheet::setCell(int row, int column, const QString& text, CellQuote quote)
{
    checkWritable(row, column);
    // The text format, not a quote prefix: a prefix is dropped when the user
    // types over the cell, the format keeps whatever is typed in text.
    const bool keepText = quote == CellQuote::Quoted || changesWhenEntered(text);
    checkCell(worksheet_write_string(sheet_, static_cast<lxw_row_t>(row - 1), static_cast<lxw_col_t>(column - 1),
                                     cellUtf8(text).constData(), keepText ? text_ : nullptr),
              row, column);
    noteWidth(column, text.size());
}

void XlsxSpreadsheet::setDate(int row, int column, const QDateTime& value, const QString& text)
{
    checkWritable(row, column);
    const QDate date = value.date();
    const QTime time = value.time();
    lxw_datetime written{date.year(),  date.month(),   date.day(),
                         time.hour(), time.minute(), time.second() + time.msec() / 1000.0};
    const bool midnight = time.hour() == 0 && time.minute() == 0 && time.second() == 0;
    checkCell(worksheet_write_datetime(sheet_, static_cast<lxw_row_t>(row - 1), static_cast<lxw_col_t>(column - 1), &written,
                                       midnight ? dateOnly_ : dateTime_),
              row, column);
    noteWidth(column, text.size());
}

void XlsxSpreadsheet::setNumber(int row, int column, qint64 value)
{
    checkWritable(row, column);
    checkCell(worksheet_write_number(sheet_, static_cast<lxw_row_t>(row - 1), static_cast<lxw_col_t>(column - 1),
                                     static_cast<double>(value), nullptr),
              row, column);
    noteWidth(column, QString::number(value).size());
}

void XlsxSpreadsheet::checkWritable(int row, int column) const
{
    if (!sheet_)
        throw AppError(texts::NoWorkbook);
    if (row < 1 || row > LXW_ROW_MAX || column < 1 || column > LXW_COL_MAX)
        throw AppError(texts::CellOutsideSheet + cellPlace(row, column));
}

void XlsxSpreadsheet::noteWidth(int column, qsizetype characters)
{
    if (static_cast<std::size_t>(column) > longest_.size())
        longest_.resize(static_cast<std::size_t>(column), 0);
    qsizetype& longest = longest_[static_cast<std::size_t>(column - 1)];
    longest = std::max(longest, characters);
}

void XlsxSpreadsheet::autoFitColumns()
{
    if (!sheet_)
        throw AppError(texts::NoWorkbook);
    // Column widths are kept apart from the streamed rows and written when the
    // workbook closes, so they can still be set after the last row.
    for (std::size_t index = 0; index < longest_.size(); ++index) {
        if (longest_[index] == 0)
            continue;
        const double width = std::min(MaxWidth, static_cast<double>(longest_[index]) + WidthPadding);
        const auto column = static_cast<lxw_col_t>(index);
        check(worksheet_set_column(sheet_, column, column, width, nullptr), texts::ColumnNotFitted);
    }
}

void XlsxSpreadsheet::finish()
{
    if (!workbook_)
        throw AppError(texts::NoWorkbook);
    file_.create();
    // Formats belong to the workbook and go with it when it closes.
    const lxw_error result = workbook_close(workbook_);
    workbook_ = nullptr;
    sheet_ = nullptr;
    scratch_.reset();
    if (result != LXW_NO_ERROR) {
        discard();
        throw AppError(texts::WorkbookNotWritten.arg(file_.displayPath(), QString::fromUtf8(lxw_strerror(result))));
    }
    const QString path = file_.claimName();
    if (visible_ && openWhenFinished_ && !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        throw AppError(texts::WorkbookNotOpened.arg(nativePath(path)));
}

std::unique_ptr<Spreadsheet> XlsxSpreadsheetFactory::createApplication()
{
    return std::make_unique<XlsxSpreadsheet>(options_.folder, QDateTime::currentDateTime(), options_.openAfterWriting);
}

}  // namespace tallyhive::platform
