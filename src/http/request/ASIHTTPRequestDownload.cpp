// Downloading to a file: the temporary file the body is written to, resuming
// it with a "Range" request, moving or inflating it into place at the end,
// and removing the request's temporary files.

#include <fmt/format.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "http/gzip/ASIDataDecompressor.h"
#include "http/request/ASIHTTPRequest.h"
#include "http/shared/ASIHTTPRequestDefaults.h"

namespace nb::http {

namespace {

ASIErrorPtr fileSystemError(const std::error_code& failure) {
  return std::make_shared<const ASIError>("NSPOSIXErrorDomain", failure.value(),
                                          failure.message());
}

// A rename, or a copy and a removal when the two paths lie on different file
// systems (the temporary folder often is one of its own). Replaces `to`.
std::error_code moveFile(const std::string& from, const std::string& to) {
  std::error_code failure;
  std::filesystem::rename(from, to, failure);
  if (failure != std::errc::cross_device_link) return failure;
  failure.clear();
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing,
                             failure);
  if (failure) {
    std::error_code ignored;
    std::filesystem::remove(to, ignored);
    return failure;
  }
  std::filesystem::remove(from, failure);
  return failure;
}

ASIErrorPtr moveError(const std::string& from, const std::string& to, const std::error_code& why) {
  return ASIError::make(ASIFileManagementError,
                        fmt::format("Failed to move file from '{}' to '{}'", from, to),
                        std::nullopt, fileSystemError(why));
}

}  // namespace

// ---- paths --------------------------------------------------------------------------

void ASIHTTPRequest::setDownloadDestinationPath(std::optional<std::string> path) {
  std::lock_guard lock(fieldLock_);
  downloadDestinationPath_ = std::move(path);
}

std::optional<std::string> ASIHTTPRequest::downloadDestinationPath() const {
  std::lock_guard lock(fieldLock_);
  return downloadDestinationPath_;
}

void ASIHTTPRequest::setTemporaryFileDownloadPath(std::optional<std::string> path) {
  std::lock_guard lock(fieldLock_);
  temporaryFileDownloadPath_ = std::move(path);
}

std::optional<std::string> ASIHTTPRequest::temporaryFileDownloadPath() const {
  std::lock_guard lock(fieldLock_);
  return temporaryFileDownloadPath_;
}

void ASIHTTPRequest::setTemporaryUncompressedDataDownloadPath(std::optional<std::string> path) {
  std::lock_guard lock(fieldLock_);
  temporaryUncompressedDataDownloadPath_ = std::move(path);
}

std::optional<std::string> ASIHTTPRequest::temporaryUncompressedDataDownloadPath() const {
  std::lock_guard lock(fieldLock_);
  return temporaryUncompressedDataDownloadPath_;
}

// ---- resuming -----------------------------------------------------------------------

void ASIHTTPRequest::updatePartialDownloadSize() {
  std::optional<std::string> temporary;
  {
    std::lock_guard lock(fieldLock_);
    if (!allowResumeForFileDownloads || !downloadDestinationPath_) return;
    temporary = temporaryFileDownloadPath_;
  }
  std::error_code failure;
  if (!temporary || !std::filesystem::exists(*temporary, failure)) return;
  // A retry on time-out continues the file this run is writing.
  if (fileDownloadOutputStream_) fileDownloadOutputStream_->flush();
  const auto size = std::filesystem::file_size(*temporary, failure);
  if (failure) {
    failWithError(ASIError::make(
        ASIFileManagementError,
        fmt::format("Failed to get attributes for file at path '{}'", *temporary)));
    return;
  }
  partialDownloadSize_ = size;
}

// ---- writing ------------------------------------------------------------------------

// Opens the temporary file(s) at the first chunk. The file is continued only
// when the server answered the "Range" with a "Content-Range"; a server that
// sent the whole body again has it written from the start.
bool ASIHTTPRequest::openDownloadFiles(bool inflating) {
  std::string temporary;
  std::optional<std::string> inflatedTemporary;
  bool contentRange = false;
  bool rangeSent = false;
  {
    std::lock_guard lock(fieldLock_);
    if (!temporaryFileDownloadPath_) temporaryFileDownloadPath_ = temporaryFilePath();
    temporary = *temporaryFileDownloadPath_;
    if (inflating) {
      if (!temporaryUncompressedDataDownloadPath_) {
        temporaryUncompressedDataDownloadPath_ = temporaryFilePath();
      }
      inflatedTemporary = temporaryUncompressedDataDownloadPath_;
    }
    rangeSent = requestHeaders_.contains("Range");
    contentRange = responseHeaders_ && responseHeaders_->find("Content-Range").has_value();
  }
  const bool append = allowResumeForFileDownloads && rangeSent && contentRange;
  if (rangeSent && !contentRange && partialDownloadSize_ > 0) {
    incrementDownloadSizeBy(-static_cast<int64_t>(partialDownloadSize_));
    partialDownloadSize_ = 0;
  }
  const auto mode = std::ios::binary | (append ? std::ios::app : std::ios::trunc);
  fileDownloadOutputStream_ = std::make_unique<std::ofstream>(temporary, mode);
  std::string failedPath;
  if (!*fileDownloadOutputStream_) failedPath = temporary;
  if (failedPath.empty() && inflatedTemporary) {
    inflatedFileDownloadOutputStream_ = std::make_unique<std::ofstream>(*inflatedTemporary, mode);
    if (!*inflatedFileDownloadOutputStream_) failedPath = *inflatedTemporary;
  }
  if (failedPath.empty()) return true;
  const std::error_code why(errno, std::generic_category());
  closeDownloadFiles();
  failWithError(ASIError::make(ASIFileManagementError,
                               fmt::format("Failed to open file at path '{}'", failedPath),
                               std::nullopt, fileSystemError(why)));
  return false;
}

// A write that fails ends the request: a download must not finish as a
// success with bytes missing from its file.
void ASIHTTPRequest::writeToDownloadFiles(std::string_view raw,
                                          const std::optional<std::string>& inflated) {
  if (!fileDownloadOutputStream_ && !openDownloadFiles(inflated.has_value())) return;
  fileDownloadOutputStream_->write(raw.data(), static_cast<std::streamsize>(raw.size()));
  bool written = fileDownloadOutputStream_->good();
  if (written && inflated && inflatedFileDownloadOutputStream_) {
    inflatedFileDownloadOutputStream_->write(inflated->data(),
                                             static_cast<std::streamsize>(inflated->size()));
    written = inflatedFileDownloadOutputStream_->good();
  }
  if (written) return;
  const std::error_code why(errno, std::generic_category());
  closeDownloadFiles();
  failWithError(ASIError::make(
      ASIFileManagementError,
      fmt::format("Failed to write to file at path '{}'", temporaryFileDownloadPath().value_or("")),
      std::nullopt, fileSystemError(why)));
}

void ASIHTTPRequest::closeDownloadFiles() {
  fileDownloadOutputStream_.reset();
  inflatedFileDownloadOutputStream_.reset();
}

// ---- the end of a download -----------------------------------------------------------

// Answers the file error that fails the request instead of finishing it.
ASIErrorPtr ASIHTTPRequest::moveDownloadIntoPlace() {
  closeDownloadFiles();
  std::optional<std::string> temporary;
  std::optional<std::string> inflatedTemporary;
  std::string destination;
  {
    std::lock_guard lock(fieldLock_);
    temporary = temporaryFileDownloadPath_;
    inflatedTemporary = temporaryUncompressedDataDownloadPath_;
    destination = downloadDestinationPath_.value_or("");
  }
  if (!temporary) return nullptr;
  // A redirect of a resumable download keeps its file for the next target.
  if (shouldRedirect && needsRedirect_ && allowResumeForFileDownloads) return nullptr;
  ASIErrorPtr fileError;
  if (!isResponseCompressed()) {
    if (!removeFileAtPath(destination, &fileError)) {
      dropDownloadAfterFileError();
      return fileError;
    }
    if (const auto why = moveFile(*temporary, destination)) {
      dropDownloadAfterFileError();
      return moveError(*temporary, destination, why);
    }
    std::lock_guard lock(fieldLock_);
    temporaryFileDownloadPath_.reset();
    return nullptr;
  }
  if (shouldWaitToInflateCompressedResponses) {
    ASIDataDecompressor::uncompressDataFromFile(*temporary, destination, &fileError);
  } else if (inflatedTemporary) {
    if (const auto why = moveFile(*inflatedTemporary, destination)) {
      fileError = moveError(*inflatedTemporary, destination, why);
      std::error_code ignored;
      std::filesystem::remove(*inflatedTemporary, ignored);
    }
    std::lock_guard lock(fieldLock_);
    temporaryUncompressedDataDownloadPath_.reset();
  }
  removeTemporaryDownloadFile();
  return fileError;
}

// The body could not be put in place: a download that cannot resume has no
// use for it.
void ASIHTTPRequest::dropDownloadAfterFileError() {
  if (allowResumeForFileDownloads) return;
  std::optional<std::string> temporary;
  {
    std::lock_guard lock(fieldLock_);
    temporary.swap(temporaryFileDownloadPath_);
  }
  std::error_code ignored;
  if (temporary) std::filesystem::remove(*temporary, ignored);
}

// A run that did not complete leaves no half file behind, except the one a
// resumable download continues next time.
void ASIHTTPRequest::removeUnfinishedDownloadFiles() {
  closeDownloadFiles();
  if (complete_) return;
  if (!allowResumeForFileDownloads) removeTemporaryDownloadFile();
  removeTemporaryUncompressedDownloadFile();
}

// ---- temporary files ----------------------------------------------------------------

bool ASIHTTPRequest::removeFileAtPath(const std::string& path, ASIErrorPtr* error) {
  std::error_code failure;
  const auto status = std::filesystem::symlink_status(path, failure);
  if (failure || !std::filesystem::exists(status)) return true;
  if (std::filesystem::remove(path, failure) && !failure) return true;
  if (error != nullptr) {
    *error = ASIError::make(ASIFileManagementError,
                            fmt::format("Failed to delete file at path '{}'", path), std::nullopt,
                            fileSystemError(failure));
  }
  return false;
}

bool ASIHTTPRequest::removeTemporaryFile(std::optional<std::string>& field) {
  std::optional<std::string> path;
  {
    std::lock_guard lock(fieldLock_);
    path = field;
  }
  if (!path) return true;
  ASIErrorPtr failure;
  const bool removed = removeFileAtPath(*path, &failure);
  if (!removed) failWithError(failure);
  std::lock_guard lock(fieldLock_);
  field.reset();
  return removed;
}

bool ASIHTTPRequest::removeTemporaryDownloadFile() {
  return removeTemporaryFile(temporaryFileDownloadPath_);
}

bool ASIHTTPRequest::removeTemporaryUncompressedDownloadFile() {
  return removeTemporaryFile(temporaryUncompressedDataDownloadPath_);
}

bool ASIHTTPRequest::removeTemporaryUploadFile() {
  bodyFile_.reset();
  return removeTemporaryFile(postBodyFilePath_);
}

bool ASIHTTPRequest::removeTemporaryCompressedUploadFile() {
  bodyFile_.reset();
  return removeTemporaryFile(compressedPostBodyFilePath_);
}

}  // namespace nb::http
