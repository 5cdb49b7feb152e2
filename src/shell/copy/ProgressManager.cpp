#include "shell/copy/ProgressManager.h"

namespace nb {

ProgressManager& ProgressManager::sharedInstance() {
  static ProgressManager manager;
  return manager;
}

}  // namespace nb
