#include "mainwindow/folder_choice.h"

#include "app/numbered_handler.h"
#include "app/numbers.h"
#include "app/pending_events.h"
#include "app/settings_keys.h"
#include "app/texts.h"
#include "app/window/window_prep.h"
#include "mail/folder_options.h"
#include "mainwindow/window_settings.h"

#include <QComboBox>
#include <QAbstractItemView>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStandardItemModel>

#include <algorithm>
#include <functional>

namespace tallyhive {
namespace {

// The arrow keys on an option of a group: right and down choose the next
// option, left and up the one before, wrapping round.
class OptionArrowKeys : public QObject {
public:
    OptionArrowKeys(QObject* parent, std::function<void(QRadioButton*, int)> move)
        : QObject(parent), move_(std::move(move))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~Qt::KeypadModifier)
            return QObject::eventFilter(watched, event);
        int step = 0;
        if (key->key() == Qt::Key_Right || key->key() == Qt::Key_Down)
            step = 1;
        else if (key->key() == Qt::Key_Left || key->key() == Qt::Key_Up)
            step = -1;
        if (step == 0)
            return QObject::eventFilter(watched, event);
        move_(static_cast<QRadioButton*>(watched), step);
        return true;
    }

private:
    std::function<void(QRadioButton*, int)> move_;
};

// The full name of a folder entry; its text may be shortened.
constexpr int kFullName = Qt::UserRole;

// A long name would widen the drop-down past the screen: its middle gives
// way, so that the start and the last level stay readable.
constexpr qsizetype kShownFolderChars = 100;
constexpr qsizetype kShownHeadChars = 60;
// What the drop-down's box asks room for in the row; its list is wider.
constexpr int kNarrowFolderChars = 8;

QString shortened(const QString& name)
{
    if (name.size() <= kShownFolderChars)
        return name;
    qsizetype head = kShownHeadChars;
    qsizetype tail = kShownFolderChars - kShownHeadChars - 1;
    // Never half of a character written with two.
    if (name[head - 1].isHighSurrogate())
        --head;
    if (name[name.size() - tail].isLowSurrogate())
        --tail;
    return name.left(head) + u'\u2026' + name.right(tail);
}

// What the settings and the drop-down keep for "(all folders)": no IMAP
// mailbox can be called this, "*" being a wildcard in a listing.
const QString kAllFoldersKey = QStringLiteral("*");

void addFolder(QComboBox* box, const QString& folder)
{
    box->addItem(folder == kAllFoldersKey ? texts::AllFolders : shortened(folder), folder);
}

}  // namespace

FolderChoice::FolderChoice(QWidget* face, WindowParts& window, QObject* parent)
    : QObject(parent), settings_(window.services.settings)
{
    Frame2 = new QGroupBox(QStringLiteral("Folder"), face);
    Frame2->setGeometry(twipsRect(120, 1680, 7800, 660));
    Option3 = new QRadioButton(QStringLiteral("Inbox"), Frame2);
    Option5 = new QRadioButton(QStringLiteral("Drafts"), Frame2);
    Option6 = new QRadioButton(QStringLiteral("Sent"), Frame2);
    Option7 = new QRadioButton(QStringLiteral("Junk"), Frame2);
    Option9 = new QRadioButton(QStringLiteral("Deleted"), Frame2);
    // Six choices in one row, "Other:" last with its folder beside it; the
    // row is laid out from the texts' own widths, so that it fits whatever
    // font the desktop or the skin gives.
    Option10 = new QRadioButton(texts::OtherFolderCaption, Frame2);
    Combo2 = new QComboBox(Frame2);
    // Folder names are long: the drop-down's list is wide even where the box is narrow.
    Combo2->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Combo2->setMinimumContentsLength(kNarrowFolderChars);
    Combo2->view()->setMinimumWidth(twipsToPixels(4920));
    auto* row = new QHBoxLayout(Frame2);
    row->setContentsMargins(twipsToPixels(120), 0, twipsToPixels(120), 0);
    row->setSpacing(twipsToPixels(90));
    for (QRadioButton* option : {Option3, Option5, Option6, Option7, Option9, Option10})
        row->addWidget(option);
    row->addWidget(Combo2, 1);
    Combo2->setPlaceholderText(texts::OtherFoldersBeforeConnect);
    for (QRadioButton* option : folderOptions()) {
        // Exclusivity is the window's own: the options must also be able to
        // show no selection at all.
        option->setAutoExclusive(false);
    }
    Option3->setChecked(true);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Option3->setObjectName(QStringLiteral("Option3"));
    Option5->setObjectName(QStringLiteral("Option5"));
    Option6->setObjectName(QStringLiteral("Option6"));
    Option7->setObjectName(QStringLiteral("Option7"));
    Option9->setObjectName(QStringLiteral("Option9"));
    Option10->setObjectName(QStringLiteral("Option10"));
    Combo2->setObjectName(QStringLiteral("Combo2"));

    for (QRadioButton* option : folderOptions())
        connect(option, &QRadioButton::clicked, this, [this, option] { setOption(option, true); });
    // Two long names may be shortened alike: the entry counts, not its text.
    connect(Combo2, &QComboBox::currentIndexChanged, this, &FolderChoice::Combo2_Change);
    connect(Combo2, &QComboBox::activated, this, &FolderChoice::Combo2_Activated);
    makeFolderOptionsOneGroup();
    updateOtherOption();
}

std::array<QRadioButton*, 6> FolderChoice::folderOptions() const { return {Option3, Option5, Option6, Option7, Option9, Option10}; }

void FolderChoice::restore(NumberedHandler& h)
{
    const auto setting = [this](const QString& key, const QString& fallback) {
        return readWindowSetting(settings_, key, fallback);
    };
    // Selecting an option saves all six, so the six are read before any is set.
    const QString option3 = setting(settings_keys::Option3, QStringLiteral("1"));
    const QString option5 = setting(settings_keys::Option5, QStringLiteral("0"));
    const QString option6 = setting(settings_keys::Option6, QStringLiteral("0"));
    const QString option7 = setting(settings_keys::Option7, QStringLiteral("0"));
    const QString option9 = setting(settings_keys::Option9, QStringLiteral("0"));
    const QString option10 = setting(settings_keys::Option10, QStringLiteral("0"));
    h.step(186, [&] { setOption(Option3, readBoolean(option3)); });
    h.step(188, [&] { setOption(Option5, readBoolean(option5)); });
    h.step(190, [&] { setOption(Option6, readBoolean(option6)); });
    h.step(192, [&] { setOption(Option7, readBoolean(option7)); });
    h.step(194, [&] { setOption(Option9, readBoolean(option9)); });
    // The chosen folder is shown, and used, before the server lists its folders.
    h.step(196, [&] { showOnlyFolder(readWindowSetting(settings_, settings_keys::Combo2)); });
    h.step(198, [&] { setOption(Option10, readBoolean(option10)); });
}

// The five options are one group for the keyboard, as option groups are
// elsewhere on the desktop: one tab stop, at the selected option (the first
// when none is), and the arrow keys move the choice.
void FolderChoice::makeFolderOptionsOneGroup()
{
    auto* keys = new OptionArrowKeys(this, [this](QRadioButton* from, int step) { moveFolderChoice(from, step); });
    for (QRadioButton* option : folderOptions()) {
        option->installEventFilter(keys);
        connect(option, &QRadioButton::toggled, this, &FolderChoice::placeFolderTabStop);
    }
    placeFolderTabStop();
}

// An option that cannot be chosen ("Other:" with no folder) is passed over.
void FolderChoice::moveFolderChoice(QRadioButton* from, int step)
{
    const auto options = folderOptions();
    const auto count = static_cast<int>(options.size());
    int at = static_cast<int>(std::find(options.begin(), options.end(), from) - options.begin());
    QRadioButton* to = from;
    for (int tried = 0; tried < count; ++tried) {
        at = (at + step + count) % count;
        if (options[static_cast<std::size_t>(at)]->isEnabled()) {
            to = options[static_cast<std::size_t>(at)];
            break;
        }
    }
    // Saved as a click saves it.
    setOption(to, true);
    to->setFocus(Qt::TabFocusReason);
}

void FolderChoice::placeFolderTabStop()
{
    const auto options = folderOptions();
    const auto selected = std::find_if(options.begin(), options.end(), [](QRadioButton* o) { return o->isChecked(); });
    QRadioButton* stop = selected != options.end() && (*selected)->isEnabled() ? *selected : options.front();
    for (QRadioButton* option : options)
        option->setFocusPolicy(option == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void FolderChoice::setOption(QRadioButton* option, bool selected)
{
    if (!selected) {
        option->setChecked(false);
        return;
    }
    // Selecting the option already selected is no change and runs no reaction.
    bool changed = !option->isChecked();
    for (QRadioButton* other : folderOptions()) {
        changed = changed || (other != option && other->isChecked());
        other->setChecked(other == option);
    }
    if (changed)
        Option_Click();
}

// "Option10" goes first, so the five keep the order they were always written in.
void FolderChoice::Option_Click()
{
    const std::array<QString, 6> keys{settings_keys::Option10, settings_keys::Option3, settings_keys::Option5,
                                      settings_keys::Option6,  settings_keys::Option7, settings_keys::Option9};
    const std::array<QRadioButton*, 6> options{Option10, Option3, Option5, Option6, Option7, Option9};
    for (std::size_t i = 0; i < options.size(); ++i)
        saveWindowSetting(settings_, keys[i], booleanText(options[i]->isChecked()));
}

QString FolderChoice::SelectedFolderName() const
{
    for (QRadioButton* option : folderOptions()) {
        if (option->isChecked())
            return option == Option10 ? otherFolder() : option->text();
    }
    return QString();
}

QString FolderChoice::otherFolder() const { return Combo2->currentData(kFullName).toString(); }

bool FolderChoice::allFoldersChosen() const { return Option10->isChecked() && otherFolder() == kAllFoldersKey; }

void FolderChoice::Combo2_Change()
{
    saveWindowSetting(settings_, settings_keys::Combo2, otherFolder());
    updateOtherOption();
}

// Choosing a folder, even the one already shown, chooses "Other:".
void FolderChoice::Combo2_Activated() { setOption(Option10, true); }

// The folders the server offers, with the one already chosen kept shown even
// when the server does not list it: the fetch then says it is not there.
void FolderChoice::showOtherFolders(const QStringList& folders, const QStringList& optionsServed)
{
    const QString chosen = otherFolder();
    const OtherFolders offered = otherFoldersOffered(folders, chosen == kAllFoldersKey ? QString() : chosen);
    allFolders_ = optionsServed + folders;
    {
        const QSignalBlocker quiet(Combo2);
        // Filled apart and handed over whole: added one by one, each entry
        // costs the box a round of updates.
        auto* model = new QStandardItemModel(Combo2);
        QList<QStandardItem*> items;
        items.reserve(offered.folders.size() + 2);
        items << new QStandardItem(texts::AllFolders);
        items.back()->setData(kAllFoldersKey, kFullName);
        for (const QString& folder : offered.folders) {
            auto* item = new QStandardItem(shortened(folder));
            item->setData(folder, kFullName);
            items << item;
            letPendingEventsRun();
        }
        if (!offered.cutNote.isEmpty()) {
            items << new QStandardItem(offered.cutNote);
            items.back()->setEnabled(false);
        }
        model->appendColumn(items);
        Combo2->setModel(model);
        Combo2->setCurrentIndex(Combo2->findData(chosen, kFullName, Qt::MatchExactly | Qt::MatchCaseSensitive));
        Combo2->setPlaceholderText(folders.isEmpty() ? texts::NoOtherFolders : texts::OtherFoldersToChoose);
    }
    updateOtherOption();
}

// Without a connection only the chosen folder is shown, as at start.
void FolderChoice::showOnlyFolder(const QString& folder)
{
    {
        const QSignalBlocker quiet(Combo2);
        Combo2->clear();
        if (!folder.isEmpty()) {
            addFolder(Combo2, folder);
            Combo2->setCurrentIndex(0);  // a box with a placeholder shows no entry by itself
        }
        Combo2->setPlaceholderText(texts::OtherFoldersBeforeConnect);
    }
    updateOtherOption();
}

// "Other:" can be chosen only while its drop-down shows a folder.
void FolderChoice::updateOtherOption()
{
    Combo2->setEnabled(Combo2->count() > 0);
    Combo2->setToolTip(Combo2->currentText());  // a long path does not fit the box
    Option10->setEnabled(!otherFolder().isEmpty());
    placeFolderTabStop();
}

}  // namespace tallyhive
