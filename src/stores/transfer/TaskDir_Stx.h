#pragma once
// One folder-level transfer task: a folder whose contents are being queued
// for transfer, mirrored from the transfer store's TaskDir table.

#include <cstdint>
#include <string>

namespace nb {

struct TaskDir_Stx {
  std::int64_t nMountID = 0;  // library id
  std::string strWebpath;     // folder path inside the library
  std::string strFullpath;    // local folder path; may be empty
  bool bFinish = false;       // every transfer of the folder has been queued
};

}  // namespace nb
