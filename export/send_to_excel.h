#pragma once

#include "mail/email_record.h"
#include "platform/list_view.h"
#include "platform/message_boxes.h"
#include "platform/spreadsheet.h"

#include <functional>

namespace tallyhive {

// The "3. Send To Excel" command: the list's titles and checked rows, with
// each row's plain-text body, into a new spreadsheet; then "Done.".
// restorePointer sets the main window's pointer back to the default arrow.
void SendToExcel(platform::ListView& list, const EmailCollection& records, platform::SpreadsheetFactory& spreadsheets,
                 platform::MessageBoxes& boxes, const std::function<void()>& restorePointer);

}  // namespace tallyhive
