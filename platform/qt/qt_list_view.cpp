#include "platform/qt/qt_list_view.h"

#include "app/texts.h"
#include "app/window/window_prep.h"
#include "interfaces/error.h"
#include "platform/qt/list_rows_model.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTableView>
#include <QVBoxLayout>

namespace tallyhive::platform {
namespace {
// New columns get a width until the program sets one (about an inch).
constexpr int DefaultColumnTwips = 1440;
}

QtListView::QtListView(QWidget* parent)
    : QWidget(parent), model_(new ListRowsModel(this)), table_(new QTableView(this))
{
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setShowGrid(true);
    table_->setWordWrap(false);
    table_->setAlternatingRowColors(false);
    table_->setSortingEnabled(false);
    table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Fixed row heights let the view place any row by arithmetic, which is
    // what keeps a list of 50,000 rows quick to fill and to scroll.
    QHeaderView* rows = table_->verticalHeader();
    rows->setVisible(false);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    QHeaderView* columns = table_->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(false);
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Which columns to show is asked where desktop mail programs ask it.
    columns->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(columns, &QHeaderView::customContextMenuRequested, this, &QtListView::showColumnMenu);

    // Tab and Shift+Tab go on to the window's next control; the arrows, Page
    // Up and Down, Home and End move in the list.
    table_->setTabKeyNavigation(false);
    table_->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table_);
    setFocusProxy(table_);
}

// Space checks or unchecks the current row from any of its cells, the way
// a click on its check box does, counts and all.
bool QtListView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != table_ || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const QModelIndex current = table_->currentIndex();
    if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier || !current.isValid())
        return false;
    const Qt::CheckState next = model_->checked(current.row()) ? Qt::Unchecked : Qt::Checked;
    model_->setData(model_->index(current.row(), 0), QVariant::fromValue(next), Qt::CheckStateRole);
    return true;
}

QtListView::~QtListView() = default;

void QtListView::insertColumn(int column, const QString& title, RecordField field)
{
    model_->insertColumn(column - 1, title, field);
    widthsTwips_.resize(static_cast<size_t>(model_->columnCount() - 1), DefaultColumnTwips);
    widthsTwips_.insert(widthsTwips_.begin() + (column - 1), DefaultColumnTwips);
    applyWidths();
}

void QtListView::removeColumn(int column)
{
    model_->removeColumn(column - 1);
    widthsTwips_.resize(static_cast<size_t>(model_->columnCount() + 1), DefaultColumnTwips);
    widthsTwips_.erase(widthsTwips_.begin() + (column - 1));
    applyWidths();
}

RecordField QtListView::columnField(int column) const { return model_->field(column - 1); }

void QtListView::applyWidths()
{
    for (int column = 1; column <= model_->columnCount(); ++column) {
        const int twips = widthsTwips_[static_cast<size_t>(column - 1)];
        table_->setColumnHidden(column - 1, twips == 0);
        if (twips > 0)
            table_->setColumnWidth(column - 1, twipsToPixels(twips));
    }
}

void QtListView::setColumnMenu(std::function<std::vector<ColumnChoice>()> choices, std::function<void(int index)> chosen)
{
    columnChoices_ = std::move(choices);
    columnChosen_ = std::move(chosen);
}

void QtListView::showColumnMenu(const QPoint& at)
{
    if (!columnChoices_)
        return;
    QMenu menu(this);
    const std::vector<ColumnChoice> choices = columnChoices_();
    for (size_t i = 0; i < choices.size(); ++i) {
        QAction* action = menu.addAction(choices[i].title);
        action->setCheckable(true);
        action->setChecked(choices[i].shown);
        action->setData(static_cast<int>(i));
    }
    QAction* taken = menu.exec(table_->horizontalHeader()->mapToGlobal(at));
    if (taken != nullptr && columnChosen_)
        columnChosen_(taken->data().toInt());
}

int QtListView::columnCount() const { return model_->columnCount(); }

QString QtListView::columnTitle(int column) const { return model_->title(column - 1); }

void QtListView::setColumnWidth(int column, int twips)
{
    if (column < 1 || column > model_->columnCount() || twips < 0)
        throw AppError(texts::IndexOutOfBounds);
    widthsTwips_.resize(static_cast<size_t>(model_->columnCount()), DefaultColumnTwips);
    widthsTwips_[static_cast<size_t>(column - 1)] = twips;
    // A column of width 0 exists (the export reads its title) but is never seen.
    table_->setColumnHidden(column - 1, twips == 0);
    if (twips > 0)
        table_->setColumnWidth(column - 1, twipsToPixels(twips));
}

int QtListView::columnWidth(int column) const
{
    if (column < 1 || column > model_->columnCount())
        throw AppError(texts::IndexOutOfBounds);
    const auto index = static_cast<size_t>(column - 1);
    return index < widthsTwips_.size() ? widthsTwips_[index] : DefaultColumnTwips;
}

int QtListView::addRow(EmailRecord record) { return model_->appendRow(std::move(record)) + 1; }

int QtListView::rowCount() const { return model_->storedRows(); }

QString QtListView::cellText(int row, int column) const { return model_->text(row - 1, column - 1); }

const EmailRecord& QtListView::record(int row) const { return model_->record(row - 1); }

bool QtListView::isChecked(int row) const { return model_->checked(row - 1); }

void QtListView::setChecked(int row, bool checked) { model_->setChecked(row - 1, checked); }

void QtListView::removeAllRows() { model_->clearRows(); }

void QtListView::redraw()
{
    model_->announceChanges();
    table_->viewport()->update();
}

void QtListView::setSortingEnabled(bool enabled) { table_->setSortingEnabled(enabled); }

void QtListView::setItemCheckHandler(std::function<void(int row)> handler)
{
    if (!handler) {
        model_->setUserCheckHandler({});
        return;
    }
    model_->setUserCheckHandler([handler = std::move(handler)](int row) { handler(row + 1); });
}

QTableView& QtListView::table() const { return *table_; }

}  // namespace tallyhive::platform
