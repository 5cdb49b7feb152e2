#pragma once
// All the client's settings that pages read at once: a plain value.

#include <cstdint>

namespace nb {

struct SettingInfo {
  bool autorun = false;
  bool prompt = false;
  bool local = false;
  bool https = false;
  bool recycle = false;
  bool proxy = false;
  bool msg = false;
  bool msgsound = false;
  int64_t language = 0;  // 2 English, 3 traditional Chinese, other simplified Chinese
  int64_t nUploadMax = 0;
  int64_t nDownloadMax = 0;
  bool clickreadonly = false;
};

}  // namespace nb
