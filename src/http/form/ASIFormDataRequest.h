#pragma once
// A POST request built from form fields and files: URL-encoded, or
// multipart/form-data as soon as a file is part of it. The body is made when
// the request starts; everything else is the plain request's.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "http/request/ASIHTTPRequest.h"

namespace nb::http {

enum ASIPostFormat : int {
  ASIMultipartFormDataPostFormat = 0,
  ASIURLEncodedPostFormat = 1,
};

class ASIFormDataRequest : public ASIHTTPRequest {
 public:
  struct PostEntry {
    std::string key;
    std::string value;
    bool operator==(const PostEntry&) const = default;
  };
  struct FileEntry {
    std::string key;
    std::string fileName;
    std::string contentType;
    // Either bytes, or the path of the file whose bytes are sent.
    std::string data;
    bool dataIsPath = false;
    bool operator==(const FileEntry&) const = default;
  };

  static std::shared_ptr<ASIFormDataRequest> requestWithURL(const std::string& url);

  void addPostValue(const std::string& value, const std::string& key);
  // Every field of that key goes; the new one comes last.
  void setPostValue(const std::string& value, const std::string& key);

  // A path where no file is (or a folder) fails the request with code 6; the
  // entry is kept all the same. The name defaults to the path's last
  // component, the type to the one its extension gives.
  void addFile(const std::string& path, const std::string& key);
  void addFile(const std::string& path, const std::optional<std::string>& fileName,
               const std::optional<std::string>& contentType, const std::string& key);
  // Named "file" and typed "application/octet-stream" unless told otherwise.
  void addData(const std::string& bytes, const std::string& key);
  void addData(const std::string& bytes, const std::optional<std::string>& fileName,
               const std::optional<std::string>& contentType, const std::string& key);
  void setFile(const std::string& path, const std::string& key);
  void setFile(const std::string& path, const std::optional<std::string>& fileName,
               const std::optional<std::string>& contentType, const std::string& key);
  void setData(const std::string& bytes, const std::string& key);
  void setData(const std::string& bytes, const std::optional<std::string>& fileName,
               const std::optional<std::string>& contentType, const std::string& key);

  std::optional<std::vector<PostEntry>> postData() const;
  void setPostData(std::optional<std::vector<PostEntry>> entries);
  std::optional<std::vector<FileEntry>> fileData() const;
  void setFileData(std::optional<std::vector<FileEntry>> entries);

  int postFormat = ASIURLEncodedPostFormat;
  uint64_t stringEncoding = ASIUTF8StringEncoding;

  void buildPostBody() override;
  std::shared_ptr<ASIHTTPRequest> copy() const override;

  // Every byte of `text` in stringEncoding as "%XX" except ASCII letters,
  // digits, "-", "_" and "."; empty when the text has no form in it.
  std::string encodeURL(const std::string& text) const;

 private:
  explicit ASIFormDataRequest(const std::string& url);

  void buildURLEncodedPostBody();
  void buildMultipartFormDataPostBody();
  void appendPostString(const std::string& text);
  void removeFiles(const std::string& key);

  mutable std::mutex formLock_;
  std::optional<std::vector<PostEntry>> postData_;  // guarded by formLock_
  std::optional<std::vector<FileEntry>> fileData_;  // guarded by formLock_
};

}  // namespace nb::http
