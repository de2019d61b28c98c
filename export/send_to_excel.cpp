#include "export/send_to_excel.h"

namespace tallyhive {

void SendToExcel(platform::ListView&, const EmailCollection&, platform::SpreadsheetFactory&, platform::MessageBoxes&,
                 const std::function<void()>&)
{
}

}  // namespace tallyhive
