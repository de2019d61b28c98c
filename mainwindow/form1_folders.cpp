#include "mainwindow/form1.h"

#include "app/numbers.h"
#include "app/settings_keys.h"

#include <QKeyEvent>
#include <QRadioButton>

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

}  // namespace

// The five options are one group for the keyboard, as option groups are
// elsewhere on the desktop: one tab stop, at the selected option (the first
// when none is), and the arrow keys move the choice.
void Form1::makeFolderOptionsOneGroup()
{
    auto* keys = new OptionArrowKeys(this, [this](QRadioButton* from, int step) { moveFolderChoice(from, step); });
    for (QRadioButton* option : folderOptions()) {
        option->installEventFilter(keys);
        connect(option, &QRadioButton::toggled, this, &Form1::placeFolderTabStop);
    }
    placeFolderTabStop();
}

void Form1::moveFolderChoice(QRadioButton* from, int step)
{
    const auto options = folderOptions();
    const auto count = static_cast<int>(options.size());
    const auto at = static_cast<int>(std::find(options.begin(), options.end(), from) - options.begin());
    QRadioButton* to = options[static_cast<std::size_t>((at + step + count) % count)];
    // Saved as a click saves it.
    setOption(to, true);
    to->setFocus(Qt::TabFocusReason);
}

void Form1::placeFolderTabStop()
{
    const auto options = folderOptions();
    const auto selected = std::find_if(options.begin(), options.end(), [](QRadioButton* o) { return o->isChecked(); });
    QRadioButton* stop = selected != options.end() ? *selected : options.front();
    for (QRadioButton* option : options)
        option->setFocusPolicy(option == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void Form1::setOption(QRadioButton* option, bool selected)
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

void Form1::Option_Click()
{
    const std::array<QString, 5> keys{settings_keys::Option3, settings_keys::Option5, settings_keys::Option6,
                                      settings_keys::Option7, settings_keys::Option9};
    const auto options = folderOptions();
    for (std::size_t i = 0; i < options.size(); ++i)
        saveSetting(keys[i], booleanText(options[i]->isChecked()));
}

QString Form1::SelectedFolderName() const
{
    for (QRadioButton* option : folderOptions()) {
        if (option->isChecked())
            return option->text();
    }
    return QString();
}

}  // namespace tallyhive
