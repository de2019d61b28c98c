#pragma once

#include "interfaces/list_view.h"
#include "interfaces/message_boxes.h"

#include <functional>

class QWidget;

namespace tallyhive {

// "Show List In Larger View": copies the main list's rows and marks into a
// fresh larger list view, shows it maximised and modal over the owner, and
// once it has closed (carrying the marks back) refreshes the main counts.
void ShowListInLargerView(platform::ListView& mainList, platform::MessageBoxes& boxes,
                          const std::function<void(bool reset)>& refreshMainCounts, QWidget* owner = nullptr);

}  // namespace tallyhive
