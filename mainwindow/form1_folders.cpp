#include "mainwindow/form1.h"

#include "app/numbers.h"
#include "app/settings_keys.h"

#include <QRadioButton>

namespace tallyhive {

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
