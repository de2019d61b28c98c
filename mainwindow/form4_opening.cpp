#include "mainwindow/form4_opening.h"

#include "app/locations.h"
#include "app/numbered_handler.h"
#include "mainwindow/form4.h"
#include "platform/qt/qt_list_view.h"

#include <QScreen>

#include <memory>

namespace tallyhive {

void ShowListInLargerView(platform::ListView& mainList, platform::MessageBoxes& boxes,
                          const std::function<void(bool reset)>& refreshMainCounts, QWidget* owner)
{
    NumberedHandler handler(boxes, locations::ShowLargerView);
    // The window loads the first time it is reached, which with an empty main
    // list is only when it is maximised.
    std::unique_ptr<Form4> form;
    const auto reach = [&]() -> Form4& {
        if (!form)
            form = std::make_unique<Form4>(mainList, boxes, owner);
        return *form;
    };

    int rows = 0;
    handler.step(100, [&] { rows = mainList.rowCount(); });
    for (int source = 1; source <= rows; ++source) {
        handler.step(102, [&] { reach(); });
        int copy = 0;
        // A copy of a record shares its texts and bodies with the original.
        handler.step(104, [&] { copy = reach().listView().addRow(mainList.record(source)); });
        handler.step(116, [&] { reach().listView().setChecked(copy, mainList.isChecked(source)); });
    }
    handler.step(120, [&] {
        // As large as the screen before it is maximised, so that it fills the
        // screen also where no window manager takes it in hand.
        reach().setGeometry(reach().screen()->availableGeometry());
        reach().setWindowState(Qt::WindowMaximized);
    });
    handler.step(122, [&] { reach().exec(); });
    handler.step(124, [&] { refreshMainCounts(false); });
}

}  // namespace tallyhive
