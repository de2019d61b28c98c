#pragma once

#include "interfaces/list_view.h"

#include <QString>

#include <optional>

namespace tallyhive {

// Why the checked rows cannot fit on one worksheet, found before anything is
// written; nothing when they fit. Only rows checked now count.
std::optional<QString> exportRefusal(const platform::ListView& list);

}  // namespace tallyhive
