#include "shell/tasks/OpenHistory.h"

#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"

namespace nb {

void recordOpenHistory(const OpenTransportItem& open) {
  NBLOG_DEBUG("{},{},{},{}", open.strWebpath, open.ullFilesize, open.ullLast, open.ullUploadTime);
  TransPortDB::shareTransPortDB().AddOpenHistory(open);
}

void recordOpenHistory(const TransportItem& record, std::uint64_t uploadTime) {
  OpenTransportItem open;
  open.nMountid = record.nMountid;
  open.strWebpath = record.strWebpath;
  open.strFullpath = record.strFullpath;
  open.ullFilesize = record.ullFilesize;
  open.ullLast = record.ullLast;
  open.ullUploadTime = uploadTime;
  recordOpenHistory(open);
}

}  // namespace nb
