#pragma once
// A request for a web page or a style sheet that also fetches what the page
// refers to (style sheets, scripts, images, frames, media), each through a
// child page request of its own so frames and style sheets are handled the
// same way at any depth, and can then rewrite the page to stand on its own:
// every reference becomes a "data:" URI or a relative path to a local copy.
//
// Only http and https references are fetched; a reference back to the page
// itself or to a page above it is not fetched again (frames that include each
// other, a style sheet's url(#filter)).
//
// Run it asynchronously: the resources are fetched on a network queue whose
// callbacks, and with them the rewrite, run on the main thread. The page's
// delegate hears its own events and those of every resource below it.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/queue/ASINetworkQueue.h"
#include "http/request/ASIHTTPRequest.h"

struct _xmlDoc;  // libxml2's parsed document

namespace nb::http {

enum ASIURLReplacementMode : int {
  ASIDontModifyURLs = 0,
  ASIReplaceExternalResourcesWithData = 1,
  ASIReplaceExternalResourcesWithLocalURLs = 2,
};

enum ASIWebPageErrorType : int {
  ASIUnableToReadHTMLErrorType = 100,
  ASIUnableToParseXMLErrorType = 101,
};

class ASIWebPageRequest final : public ASIHTTPRequest {
 public:
  // What was fetched for one reference of the page.
  struct Resource {
    std::string contentType;
    std::optional<std::string> dataPath;  // when the page downloads to a file
    std::optional<std::string> data;      // otherwise
  };
  enum ContentKind : int { OtherContent = 0, HTMLContent = 1, CSSContent = 2 };

  static std::shared_ptr<ASIWebPageRequest> requestWithURL(const std::string& url);
  ~ASIWebPageRequest() override;

  int urlReplacementMode = ASIDontModifyURLs;
  // Copied into the resource queue's cancel-on-failure flag: on, the first
  // failed resource fails the page; off, failed resources are passed over.
  bool shouldIgnoreExternalResourceErrors = true;
  // A child carries the reference it was made for under "Path".
  std::map<std::string, std::string> userInfo;

  void setParentRequest(std::shared_ptr<ASIWebPageRequest> parent);
  std::shared_ptr<ASIWebPageRequest> parentRequest() const;
  std::shared_ptr<ASINetworkQueue> externalResourceQueue() const;
  std::map<std::string, Resource> resourceList() const;
  int webContentType() const { return webContentType_; }

  // ---- steps (public for the tests of each rule) --------------------------
  ASIErrorPtr parseAsHTML();
  ASIErrorPtr parseAsCSS();
  // Adds a reference as written in the page, unless it is to be ignored.
  void addURLToFetch(const std::string& text);
  // The text a reference becomes in the rewritten page; nothing for none.
  std::optional<std::string> contentForExternalURL(const std::string& reference) const;
  // libxml2's name of the response's encoding; nothing lets the parser decide.
  std::optional<std::string> encodingName() const;
  std::string cachePathForRequest(const ASIHTTPRequest& child) const;
  static std::string relativePathTo(const std::string& target, const std::string& base);
  static std::vector<std::string> CSSURLsFromString(std::string_view text);

 protected:
  void requestFinished() override;
  void markAsFinished() override;

 private:
  class Relay;
  friend class Relay;
  struct FreeDocument {
    void operator()(_xmlDoc* doc) const;
  };

  explicit ASIWebPageRequest(const std::string& url);
  std::shared_ptr<ASIWebPageRequest> self();

  // the page's own end and the resources (ASIWebPageRequest.cpp)
  void finishNormally();
  void fetchExternalResources();
  std::shared_ptr<ASIWebPageRequest> makeChild(const std::string& reference);
  void externalResourceFetchSucceeded(ASIHTTPRequest& child);
  void externalResourceFetchFailed(ASIHTTPRequest& child);
  void finishedFetchingExternalResources();
  void endAfterResources(const ASIErrorPtr& failure);
  ASIErrorPtr rewriteCSS();
  void dropContentEncoding();
  bool isPageOrAncestor(const std::string& resolved) const;
  std::optional<std::string> pageText(ASIErrorPtr* readError) const;

  // libxml2 (ASIWebPageRequestHtml.cpp)
  ASIErrorPtr readResourceURLs();
  ASIErrorPtr updateResourceURLs();
  ASIErrorPtr saveDocument();
  void releaseDocument();
  // Serialises every use of libxml2's parser state and of parsed documents.
  static std::mutex& xmlParsingLock();

  std::unique_ptr<Relay> relay_;
  std::unique_ptr<_xmlDoc, FreeDocument> doc_;  // guarded by the class-wide parsing lock
  mutable std::mutex fieldsLock_;
  std::shared_ptr<ASIWebPageRequest> parentRequest_;       // guarded by fieldsLock_
  std::map<std::string, Resource> resourceList_;           // guarded by fieldsLock_
  std::shared_ptr<ASINetworkQueue> externalResourceQueue_;  // main thread
  std::atomic<int> webContentType_ = OtherContent;
  // Main thread: a resource failed the page, whose error may not be set yet.
  bool resourceFailed_ = false;
  std::atomic<bool> readyToEnd_ = false;
  std::atomic<bool> ended_ = false;
};

}  // namespace nb::http
