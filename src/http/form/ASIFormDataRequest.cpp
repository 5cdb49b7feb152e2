#include "http/form/ASIFormDataRequest.h"

#include <fmt/format.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include "http/shared/ContentType.h"
#include "http/text/TextEncoding.h"

namespace nb::http {

namespace {

// A quote or a line break in a name would end the parameter or start new
// header lines (or whole parts): written as browsers write them.
std::string dispositionParameter(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '"') {
      out += "%22";
    } else if (c == '\r') {
      out += "%0D";
    } else if (c == '\n') {
      out += "%0A";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// A new random UUID in its upper-case text form.
std::string newUUIDString() {
  std::array<unsigned char, 16> bytes{};
  if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
    // No entropy to be had: a boundary must still differ between bodies.
    static std::atomic<uint64_t> counter = 0;
    const uint64_t n = ++counter;
    std::copy_n(reinterpret_cast<const unsigned char*>(&n), sizeof n, bytes.begin());
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text += fmt::format("{:02X}", bytes[i]);
  }
  return text;
}

bool isUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

}  // namespace

std::shared_ptr<ASIFormDataRequest> ASIFormDataRequest::requestWithURL(const std::string& url) {
  return std::shared_ptr<ASIFormDataRequest>(new ASIFormDataRequest(url));
}

ASIFormDataRequest::ASIFormDataRequest(const std::string& url) : ASIHTTPRequest(url) {
  setRequestMethod("POST");
}

// ---- fields and files ---------------------------------------------------------------

void ASIFormDataRequest::addPostValue(const std::string& value, const std::string& key) {
  std::lock_guard lock(formLock_);
  if (!postData_) postData_.emplace();
  postData_->push_back({key, value});
}

void ASIFormDataRequest::setPostValue(const std::string& value, const std::string& key) {
  {
    std::lock_guard lock(formLock_);
    if (postData_) std::erase_if(*postData_, [&](const PostEntry& e) { return e.key == key; });
  }
  addPostValue(value, key);
}

void ASIFormDataRequest::addFile(const std::string& path, const std::string& key) {
  addFile(path, std::nullopt, std::nullopt, key);
}

void ASIFormDataRequest::addFile(const std::string& path,
                                 const std::optional<std::string>& fileName,
                                 const std::optional<std::string>& contentType,
                                 const std::string& key) {
  std::error_code failed;
  if (!std::filesystem::is_regular_file(path, failed)) {
    failWithError(ASIError::make(ASIInternalErrorWhileBuildingRequestType,
                                 fmt::format("No file exists at {}", path)));
  }
  FileEntry entry;
  entry.key = key;
  entry.fileName = fileName.value_or(std::filesystem::path(path).filename().string());
  entry.contentType = contentType ? *contentType
                                  : mimeTypeForFileAtPath(path).value_or("application/octet-stream");
  entry.data = path;
  entry.dataIsPath = true;
  std::lock_guard lock(formLock_);
  if (!fileData_) fileData_.emplace();
  fileData_->push_back(std::move(entry));
}

void ASIFormDataRequest::addData(const std::string& bytes, const std::string& key) {
  addData(bytes, "file", std::nullopt, key);
}

void ASIFormDataRequest::addData(const std::string& bytes,
                                 const std::optional<std::string>& fileName,
                                 const std::optional<std::string>& contentType,
                                 const std::string& key) {
  FileEntry entry{key, fileName.value_or("file"),
                  contentType.value_or("application/octet-stream"), bytes, false};
  std::lock_guard lock(formLock_);
  if (!fileData_) fileData_.emplace();
  fileData_->push_back(std::move(entry));
}

void ASIFormDataRequest::removeFiles(const std::string& key) {
  std::lock_guard lock(formLock_);
  if (fileData_) std::erase_if(*fileData_, [&](const FileEntry& e) { return e.key == key; });
}

void ASIFormDataRequest::setFile(const std::string& path, const std::string& key) {
  setFile(path, std::nullopt, std::nullopt, key);
}

void ASIFormDataRequest::setFile(const std::string& path,
                                 const std::optional<std::string>& fileName,
                                 const std::optional<std::string>& contentType,
                                 const std::string& key) {
  removeFiles(key);
  addFile(path, fileName, contentType, key);
}

void ASIFormDataRequest::setData(const std::string& bytes, const std::string& key) {
  setData(bytes, "file", std::nullopt, key);
}

void ASIFormDataRequest::setData(const std::string& bytes,
                                 const std::optional<std::string>& fileName,
                                 const std::optional<std::string>& contentType,
                                 const std::string& key) {
  removeFiles(key);
  addData(bytes, fileName, contentType, key);
}

std::optional<std::vector<ASIFormDataRequest::PostEntry>> ASIFormDataRequest::postData() const {
  std::lock_guard lock(formLock_);
  return postData_;
}

void ASIFormDataRequest::setPostData(std::optional<std::vector<PostEntry>> entries) {
  std::lock_guard lock(formLock_);
  postData_ = std::move(entries);
}

std::optional<std::vector<ASIFormDataRequest::FileEntry>> ASIFormDataRequest::fileData() const {
  std::lock_guard lock(formLock_);
  return fileData_;
}

void ASIFormDataRequest::setFileData(std::optional<std::vector<FileEntry>> entries) {
  std::lock_guard lock(formLock_);
  fileData_ = std::move(entries);
}

// ---- the body -----------------------------------------------------------------------

void ASIFormDataRequest::buildPostBody() {
  if (haveBuiltPostBody()) return;
  const auto fields = postData();
  const auto files = fileData();
  if (!fields && !files) {
    ASIHTTPRequest::buildPostBody();
    return;
  }
  if (files && !files->empty()) shouldStreamPostDataFromDisk = true;
  if (postFormat == ASIURLEncodedPostFormat) {
    buildURLEncodedPostBody();
  } else {
    buildMultipartFormDataPostBody();
  }
  ASIHTTPRequest::buildPostBody();
}

void ASIFormDataRequest::buildURLEncodedPostBody() {
  const auto files = fileData();
  if (files && !files->empty()) {
    postFormat = ASIMultipartFormDataPostFormat;
    buildMultipartFormDataPostBody();
    return;
  }
  addRequestHeader("Content-Type",
                   fmt::format("application/x-www-form-urlencoded; charset={}",
                               IANACharSetNameOfEncoding(stringEncoding).value_or("")));
  const auto fields = postData().value_or(std::vector<PostEntry>{});
  for (size_t i = 0; i < fields.size(); ++i) {
    appendPostString(fmt::format("{}={}{}", encodeURL(fields[i].key), encodeURL(fields[i].value),
                                 i + 1 < fields.size() ? "&" : ""));
  }
}

void ASIFormDataRequest::buildMultipartFormDataPostBody() {
  const std::string boundary = "0xKhTmLbOuNdArY-" + newUUIDString();
  addRequestHeader("Content-Type",
                   fmt::format("multipart/form-data; charset={}; boundary={}",
                               IANACharSetNameOfEncoding(stringEncoding).value_or(""), boundary));
  const std::string separator = fmt::format("\r\n--{}\r\n", boundary);
  const auto fields = postData().value_or(std::vector<PostEntry>{});
  const auto files = fileData().value_or(std::vector<FileEntry>{});
  appendPostString(fmt::format("--{}\r\n", boundary));
  for (size_t i = 0; i < fields.size(); ++i) {
    appendPostString(fmt::format("Content-Disposition: form-data; name=\"{}\"\r\n\r\n",
                                 dispositionParameter(fields[i].key)));
    appendPostString(fields[i].value);
    if (i + 1 < fields.size() || !files.empty()) appendPostString(separator);
  }
  for (size_t i = 0; i < files.size(); ++i) {
    const FileEntry& file = files[i];
    appendPostString(fmt::format("Content-Disposition: form-data; name=\"{}\"; filename=\"{}\"\r\n",
                                 dispositionParameter(file.key),
                                 dispositionParameter(file.fileName)));
    appendPostString(fmt::format("Content-Type: {}\r\n\r\n", file.contentType));
    if (file.dataIsPath) {
      appendPostDataFromFile(file.data);
    } else {
      appendPostData(file.data);
    }
    if (i + 1 < files.size()) appendPostString(separator);
  }
  appendPostString(fmt::format("\r\n--{}--\r\n", boundary));
}

void ASIFormDataRequest::appendPostString(const std::string& text) {
  if (const auto bytes = encodeText(text, stringEncoding)) appendPostData(*bytes);
}

std::string ASIFormDataRequest::encodeURL(const std::string& text) const {
  const auto bytes = encodeText(text, stringEncoding);
  if (!bytes) return {};
  std::string out;
  out.reserve(bytes->size() * 3);
  for (const char c : *bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (isUnreserved(byte)) {
      out.push_back(c);
    } else {
      out += fmt::format("%{:02X}", byte);
    }
  }
  return out;
}

std::shared_ptr<ASIHTTPRequest> ASIFormDataRequest::copy() const {
  auto made = requestWithURL(url());
  copyConfigurationTo(*made);
  made->setPostData(postData());
  made->setFileData(fileData());
  made->postFormat = postFormat;
  made->stringEncoding = stringEncoding;
  made->setRequestMethod(requestMethod());
  return made;
}

}  // namespace nb::http
