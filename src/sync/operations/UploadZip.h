#pragma once
// The feedback upload: one file (the packed stores of a report) sent with
// one PUT to the update host's feedback address for its type
// ("<update host>/feedback/<type>"). The file is deleted only when the
// host answers 200, so a failed upload leaves it for another try. Runs on
// the application's task queue.

#include <string>

#include "platform/Operation.h"

namespace nb {

class UploadZip final : public platform::Operation {
 public:
  // `path` is the file to send, `type` the feedback kind ("data").
  UploadZip(std::string path, std::string type)
      : path_(std::move(path)), type_(std::move(type)) {}

  // The upload itself, on the caller's thread; answers the HTTP status (0
  // when no answer came or the file could not be read).
  int64_t upload() const;

 protected:
  void main() override { upload(); }

 private:
  const std::string path_;
  const std::string type_;
};

}  // namespace nb
