#pragma once

#include "interfaces/list_view.h"
#include "interfaces/message_boxes.h"
#include "interfaces/spreadsheet.h"

#include <functional>

namespace tallyhive {

// The "3. Send To Excel" command: the list's titles and the records of its
// checked rows, each with its plain-text body, into a new spreadsheet; then
// "Done.".
// restoreWindow sets the main window's pointer back to the default arrow (and
// whatever else the window shows while busy). rowReached, when given, hears
// of each list row the export reaches, as (row, rows in the list).
void SendToExcel(platform::ListView& list, platform::SpreadsheetFactory& spreadsheets,
                 platform::MessageBoxes& boxes, const std::function<void()>& restoreWindow,
                 const std::function<void(int row, int rows)>& rowReached = {});

}  // namespace tallyhive
