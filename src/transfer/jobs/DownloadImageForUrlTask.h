#pragma once
// Opens a screenshot image with the desktop's default application,
// fetching it first when it is not on disk: a GET of the URL, the body
// written aside and renamed into place, so the path only ever holds a
// whole image. Any failure ends the job silently (logged).
//
// Only http and https URLs are fetched, with the deployment's TLS rules,
// and only a path named by a content hash with an image extension
// ("<40 hex>.jpg", ".jpeg", ".png" or ".gif") is written or opened, since
// both come from a page.
//
// An operation for the application's task queue; runs once.

#include <functional>
#include <string>

#include "platform/Operation.h"

namespace nb::transfer {

class DownloadImageForUrlTask final : public platform::Operation {
 public:
  // Opens a file with its default application; answers whether the desktop
  // took the request.
  using Opener = std::function<bool(const std::string& path)>;

  // `opener` empty: the desktop's default application.
  DownloadImageForUrlTask(std::string url, std::string path, Opener opener = {});

  // The whole job on the caller's thread (the queue calls it on its own).
  void main() override;

  static bool isFetchableUrl(const std::string& url);
  static bool isImagePath(const std::string& path);

 private:
  bool fetch() const;

  const std::string strUrl;
  const std::string strFilePath;
  const Opener opener_;
};

}  // namespace nb::transfer
