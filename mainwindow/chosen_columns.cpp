#include "mainwindow/chosen_columns.h"

#include "mainwindow/window_settings.h"

#include <QStringList>

#include <algorithm>

namespace tallyhive {
namespace {

bool holds(const std::vector<RecordField>& fields, RecordField field)
{
    return std::find(fields.begin(), fields.end(), field) != fields.end();
}

void saveChosenColumns(platform::SettingsStore& settings, const std::vector<RecordField>& chosen)
{
    QStringList titles;
    for (const ExtraColumn& extra : ExtraColumns) {
        if (holds(chosen, extra.field))
            titles << extra.title;
    }
    saveWindowSetting(settings, settings_keys::ListColumns, titles.join(u','));
}

}  // namespace

std::vector<RecordField> readChosenColumns(platform::SettingsStore& settings)
{
    const QStringList titles = readWindowSetting(settings, settings_keys::ListColumns, QString()).split(u',');
    std::vector<RecordField> chosen;
    for (const ExtraColumn& extra : ExtraColumns) {
        if (titles.contains(extra.title))
            chosen.push_back(extra.field);
    }
    return chosen;
}

std::vector<RecordField> shownExtraFields(const platform::ListView& list)
{
    std::vector<RecordField> shown;
    for (int column = 1; column <= list.columnCount(); ++column) {
        if (isExtraField(list.columnField(column)))
            shown.push_back(list.columnField(column));
    }
    return shown;
}

void showExtraColumns(platform::ListView& list, const std::vector<RecordField>& shown)
{
    for (int column = list.columnCount(); column >= 1; --column) {
        if (isExtraField(list.columnField(column)))
            list.removeColumn(column);
    }
    int before = list.columnCount();
    if (before == 0)
        return;
    for (const ExtraColumn& extra : ExtraColumns) {
        if (!holds(shown, extra.field))
            continue;
        list.insertColumn(before, extra.title, extra.field);
        list.setColumnWidth(before, extra.twips);
        ++before;
    }
}

void offerColumnChoice(platform::ListView& list, platform::SettingsStore& settings)
{
    list.setColumnMenu(
        [&list] {
            const std::vector<RecordField> shown = shownExtraFields(list);
            std::vector<platform::ColumnChoice> choices;
            for (const ExtraColumn& extra : ExtraColumns)
                choices.push_back({extra.title, holds(shown, extra.field)});
            return choices;
        },
        [&list, &settings](int index) {
            std::vector<RecordField> shown = shownExtraFields(list);
            const RecordField field = ExtraColumns.at(static_cast<size_t>(index)).field;
            if (holds(shown, field))
                shown.erase(std::find(shown.begin(), shown.end(), field));
            else
                shown.push_back(field);
            showExtraColumns(list, shown);
            saveChosenColumns(settings, shown);
        });
}

}  // namespace tallyhive
