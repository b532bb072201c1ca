#pragma once

#include <glib-object.h>

#include <memory>

namespace xm {

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};

// Owns one reference to a GObject; the reference is dropped when the owner goes.
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

}  // namespace xm
