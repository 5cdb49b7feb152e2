#include "transfer/records/TransferRecords.h"

#include "foundation/util/UtilUrl.h"

namespace nb {

std::string transErrorText(std::int64_t error, bool upload, bool internalStorage) {
  switch (error) {
    case TransError::kOpenFile:
      return upload ? TransErrorText::kUploadOpenFile : TransErrorText::kDownloadOpenFile;
    case TransError::kHash:
      return upload ? TransErrorText::kHash : "";
    case TransError::kWrongInfo:  // and kTaskFailed
      return upload ? TransErrorText::kWrongInfo : TransErrorText::kTaskFailed;
    case TransError::kNoSource:  // and kNoStorage, which carries no text
      if (upload) return "";
      return internalStorage ? Util::localizedStringForKey(TransErrorText::kNoSourceInternalKey)
                             : TransErrorText::kNoSourceTimeout;
    case TransError::kFileCheck:
      return upload ? "" : TransErrorText::kFileCheck;
    case TransError::kServerTimeout:
      return upload ? "" : TransErrorText::kServerTimeout;
    default:
      return "";
  }
}

}  // namespace nb
