#pragma once

#include "interfaces/list_view.h"
#include "interfaces/settings_store.h"

#include <QString>

#include <array>
#include <vector>

namespace tallyhive {

// A column the user may add to the list, between "Received Date" and the
// hidden "RecDate", so that the sheet's body still begins under "RecDate".
struct ExtraColumn {
    RecordField field;
    QString title;
    int twips;
};

inline const std::array<ExtraColumn, 6> ExtraColumns{{{RecordField::To, QStringLiteral("To"), 1600},
                                                      {RecordField::Cc, QStringLiteral("Cc"), 1600},
                                                      {RecordField::Size, QStringLiteral("Size"), 900},
                                                      {RecordField::MessageId, QStringLiteral("Message-ID"), 1600},
                                                      {RecordField::Attachments, QStringLiteral("Attachments"), 1600},
                                                      {RecordField::Folder, QStringLiteral("Folder"), 1300}}};

inline bool isExtraField(RecordField field) { return field >= RecordField::To; }

// The extra columns the settings name, in ExtraColumns' order.
std::vector<RecordField> readChosenColumns(platform::SettingsStore& settings);
// The extra columns the list shows, in its order.
std::vector<RecordField> shownExtraFields(const platform::ListView& list);
// Makes the list show exactly these extra columns, in ExtraColumns' order,
// before its last column. A list without columns stays as it is.
void showExtraColumns(platform::ListView& list, const std::vector<RecordField>& shown);
// A right click on the list's column titles offers the extra columns; one
// taken or dropped shows at once and is remembered.
void offerColumnChoice(platform::ListView& list, platform::SettingsStore& settings);

}  // namespace tallyhive
