#include "platform/MemoryArenas.h"

#include <malloc.h>

namespace nb::platform {

namespace {
// Two pools held a first sync's peak to half of what the default reached,
// at the same speed.
constexpr int kArenas = 2;
}  // namespace

void limitMemoryArenas() { mallopt(M_ARENA_MAX, kArenas); }

}  // namespace nb::platform
