#include "support/WindowLeakSuppressions.h"

// The window tests initialise GTK once per process; GTK, fontconfig and the
// libraries under them keep caches for the life of the process on purpose,
// which the leak checker would otherwise report at exit.
extern "C" const char* __lsan_default_suppressions() {  // NOLINT: sanitizer hook name
  return nb::test::windowLeakSuppressions();
}
