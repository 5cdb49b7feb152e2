#pragma once
// Owning handles for GLib objects and allocations, so that every early return
// releases what the GIO calls handed over.

#include <memory>

#include <glib-object.h>

namespace nb::platform {

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object != nullptr) {
      g_object_unref(object);
    }
  }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFreeDeleter {
  void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

struct GErrorFree {
  void operator()(GError* error) const {
    if (error != nullptr) {
      g_error_free(error);
    }
  }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

}  // namespace nb::platform
