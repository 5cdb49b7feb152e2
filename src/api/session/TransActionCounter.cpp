#include "api/session/TransActionCounter.h"

namespace nb {

TransActionCounter& TransActionCounter::shared() {
  static TransActionCounter counter;
  return counter;
}

void TransActionCounter::AddTransAction() { count_.fetch_add(1); }

void TransActionCounter::DelTransAction() {
  std::int64_t current = count_.load();
  while (current > 0 && !count_.compare_exchange_weak(current, current - 1)) {
  }
}

}  // namespace nb
