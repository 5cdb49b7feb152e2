// The window tests start GTK and WebKit once per process; see
// support/WindowLeakSuppressions.h.
#include "support/WindowLeakSuppressions.h"

extern "C" const char* __lsan_default_suppressions() {  // NOLINT: sanitizer hook name
  return nb::test::windowLeakSuppressions();
}
