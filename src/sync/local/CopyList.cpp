#include "sync/local/CopyList.h"

#include "platform/Clock.h"

namespace nb {

void CopyList::set_add_filelistinfo(const std::string& webpath, uint64_t filesize,
                                    uint64_t lasttime) {
  entries_[webpath] = copy_file_stx{filesize, lasttime, platform::nowSeconds()};
}

bool CopyList::isOwnWrite(const std::string& webpath, uint64_t filesize, uint64_t lasttime) const {
  auto found = entries_.find(webpath);
  return found != entries_.end() && found->second.filesize == filesize &&
         found->second.lasttime == lasttime;
}

void CopyList::forget(const std::string& webpath) { entries_.erase(webpath); }

void CopyList::updateLastTime(const std::string& webpath, uint64_t lasttime) {
  if (auto found = entries_.find(webpath); found != entries_.end()) found->second.lasttime = lasttime;
}

void CopyList::check_and_clear_copylist() {
  const uint64_t now = platform::nowSeconds();
  // Unsigned, as the times are: a clock set back makes entries look old.
  std::erase_if(entries_, [&](const auto& entry) { return now - entry.second.addtime >= kKeepSeconds; });
}

}  // namespace nb
