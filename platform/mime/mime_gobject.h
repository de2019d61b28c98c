#pragma once

#include <gmime/gmime.h>

#include <memory>

namespace tallyhive::platform::mime {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// A GObject reference this code owns and releases.
template <typename T>
using GOwned = std::unique_ptr<T, GObjectUnref>;

}  // namespace tallyhive::platform::mime
