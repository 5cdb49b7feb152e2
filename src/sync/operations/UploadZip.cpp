#include "sync/operations/UploadZip.h"

#include <filesystem>
#include <system_error>

#include "api/calls/NBHTTPRequest.h"
#include "api/server/ServerInfo.h"
#include "foundation/util/UtilUrl.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"

namespace nb {

int64_t UploadZip::upload() const {
  const auto body = platform::readWholeFile(path_);
  if (!body) {
    NBLOG_ERROR("UploadZip cannot read {}", path_);
    return 0;
  }
  const std::string url = Util::getDealWithHttpsOrHttpUrl(ServerInfo::current()->strUpdateHost() +
                                                          "/feedback/" + type_);
  const NBHTTPResponse response = NBHTTPRequest(url, "PUT", std::nullopt, *body)
                                      .connectNetSyncWithResponse();
  if (response.statusCode == 200) {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  } else {
    NBLOG_ERROR("UploadZip of {} answered {}", path_, response.statusCode);
  }
  return response.statusCode;
}

}  // namespace nb
