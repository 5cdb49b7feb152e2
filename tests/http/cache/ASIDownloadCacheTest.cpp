// The download cache: keys and file names, what is stored, and a second GET
// answered from disk or from the server as each policy says.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "http/HttpTestSupport.h"
#include "http/cache/ASIDownloadCache.h"
#include "http/gzip/ASIDataDecompressor.h"

namespace nb::test {
namespace {

using http::ASIDownloadCache;
using http::ASIHTTPRequest;
namespace fs = std::filesystem;

TEST(CacheNames, KeysAndBodyExtensions) {
  EXPECT_EQ(ASIDownloadCache::keyForURL("http://h/a"), "2CE7276502725C281E6D5AE4E55AED55");
  EXPECT_EQ(ASIDownloadCache::keyForURL("http://h/a/"), ASIDownloadCache::keyForURL("http://h/a"));
  EXPECT_NE(ASIDownloadCache::keyForURL("http://h/a//"), ASIDownloadCache::keyForURL("http://h/a/"));
  EXPECT_FALSE(ASIDownloadCache::keyForURL(""));
  const std::vector<std::pair<std::string, std::string>> extensions = {
      {"http://h/x.PHP", "html"}, {"http://h/y.PNG", "PNG"},      {"http://h/z", "html"},
      {"http://h/", "html"},      {"http://h/d.v/f.css?q=1", "css"}, {"http://h/s.aspx", "html"},
      {"http://h", "html"}};
  for (const auto& [url, extension] : extensions) {
    EXPECT_EQ(ASIDownloadCache::fileExtensionForURL(url), extension) << url;
  }
}

TEST(CacheSettings, DefaultPolicyAndFolders) {
  ASIDownloadCache cache;
  EXPECT_EQ(cache.defaultCachePolicy(), http::ASIAskServerIfModifiedWhenStaleCachePolicy);
  cache.setDefaultCachePolicy(http::ASIDontLoadCachePolicy);
  cache.setDefaultCachePolicy(0);
  EXPECT_EQ(cache.defaultCachePolicy(), http::ASIAskServerIfModifiedWhenStaleCachePolicy);

  const fs::path root = http::temporaryFilePath();
  std::ofstream(root) << "a file";
  try {
    cache.setStoragePath(root.string());
    ADD_FAILURE() << "no exception";
  } catch (const http::ASICacheException& e) {
    EXPECT_EQ(e.name(), "FileExistsAtCachePath");
    EXPECT_EQ(std::string(e.what()), "Cannot create a directory for the cache at '" + root.string() +
                                         "', because a file already exists");
  }
  fs::remove(root);
  cache.setStoragePath(root.string());
  EXPECT_TRUE(fs::is_directory(root / "SessionStore"));
  EXPECT_TRUE(fs::is_directory(root / "PermanentStore"));
  fs::remove_all(root);
}

class CacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerTestIdentity();
    cache_->setStoragePath(root_.string());
  }
  void TearDown() override { fs::remove_all(root_); }

  std::shared_ptr<ASIHTTPRequest> get(const std::string& path, uint32_t policy = 0) {
    auto request = ASIHTTPRequest::requestWithURL(server_.url(path), cache_, policy);
    request->startSynchronous();
    return request;
  }
  size_t served() const { return server_.requests().size(); }

  ScriptedHttpServer server_;
  std::shared_ptr<ASIDownloadCache> cache_ = std::make_shared<ASIDownloadCache>();
  fs::path root_ = http::temporaryFilePath();
};

struct StoreCase {
  const char* name;
  int status;
  std::vector<std::pair<std::string, std::string>> headers;
  bool stored;
};

class WhatIsStored : public CacheTest, public ::testing::WithParamInterface<StoreCase> {};

TEST_P(WhatIsStored, ByStatusAndDirectives) {
  ScriptedReply reply = ScriptedReply::ok("body");
  reply.status = GetParam().status;
  for (const auto& [name, value] : GetParam().headers) reply.header(name, value);
  server_.on("/r", reply);
  const auto request = get("/r", http::ASIDoNotReadFromCacheCachePolicy);
  EXPECT_FALSE(request->error());
  EXPECT_EQ(cache_->cachedResponseHeadersForURL(server_.url("/r")).has_value(), GetParam().stored);
  EXPECT_EQ(cache_->cachedResponseDataForURL(server_.url("/r")).has_value(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WhatIsStored,
    ::testing::Values(StoreCase{"ok", 200, {}, true},
                      StoreCase{"notModified", 304, {}, false},
                      StoreCase{"notFound", 404, {}, false},
                      StoreCase{"movedWithoutLocation", 301, {}, true},
                      StoreCase{"noCacheAndMore", 200, {{"Cache-Control", "no-cache, x"}}, true},
                      StoreCase{"noStoreAnyCase", 200, {{"Cache-Control", "No-Store"}}, false},
                      StoreCase{"pragma", 200, {{"Pragma", "no-cache"}}, false}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(CacheTest, ACurrentCopyAnswersWithoutTheServerAndAStaleOneIsRevalidated) {
  server_.on("/fresh", ScriptedReply::ok("fresh body").header("Cache-Control", "max-age=600"));
  ASSERT_EQ(get("/fresh")->responseString(), "fresh body");
  const auto again = get("/fresh");
  EXPECT_EQ(served(), 1u);
  EXPECT_TRUE(again->didUseCachedResponse());
  EXPECT_EQ(again->responseStatusCode(), 200);
  EXPECT_EQ(again->responseString(), "fresh body");

  server_.on("/stale", [](const ScriptedRequest& request) {
    if (request.header("If-None-Match") == "\"v1\"" &&
        request.header("If-Modified-Since") == "Sun, 06 Nov 1994 08:49:37 GMT") {
      ScriptedReply same;
      same.status = 304;
      same.reason = "Not Modified";
      return same;
    }
    return ScriptedReply::ok("stale body")
        .header("Etag", "\"v1\"")
        .header("Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT");
  });
  ASSERT_EQ(get("/stale")->responseString(), "stale body");
  const auto revalidated = get("/stale");
  EXPECT_EQ(served(), 3u);
  EXPECT_TRUE(revalidated->didUseCachedResponse());
  EXPECT_EQ(revalidated->responseStatusCode(), 200);
  EXPECT_EQ(revalidated->responseString(), "stale body");
}

TEST_F(CacheTest, PoliciesThatAskAlwaysNeverOrNotAtAll) {
  int version = 0;
  server_.on("/v", [&](const ScriptedRequest&) {
    return ScriptedReply::ok("v" + std::to_string(++version)).header("Cache-Control", "max-age=600");
  });
  ASSERT_EQ(get("/v")->responseString(), "v1");
  // Never read from the cache: a new copy, stored over the old one.
  EXPECT_EQ(get("/v", http::ASIDoNotReadFromCacheCachePolicy)->responseString(), "v2");
  EXPECT_EQ(get("/v", http::ASIOnlyLoadIfNotCachedCachePolicy)->responseString(), "v2");
  EXPECT_EQ(served(), 2u);
  // Always ask; the copy is still current when the head arrives, so it
  // answers.
  const auto asked = get("/v", http::ASIAskServerIfModifiedCachePolicy);
  EXPECT_EQ(served(), 3u);
  EXPECT_TRUE(asked->didUseCachedResponse());
  EXPECT_EQ(asked->responseString(), "v2");
}

TEST_F(CacheTest, DontLoadWithNothingStoredFinishesAtOnceWithNothing) {
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/none"), cache_,
                                                http::ASIDontLoadCachePolicy);
  RecordingDelegate delegate;
  ASSERT_TRUE(runAsynchronously(request, delegate));
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_EQ(request->responseStatusCode(), 0);
  EXPECT_EQ(request->responseData().value_or(""), "");
  EXPECT_EQ(server_.acceptedConnections(), 0);
}

TEST_F(CacheTest, AFailedLoadFallsBackToTheStoredCopy) {
  auto other = std::make_unique<ScriptedHttpServer>();
  other->on("/f", ScriptedReply::ok("kept"));
  const std::string url = other->url("/f");
  ASIHTTPRequest::requestWithURL(url, cache_)->startSynchronous();
  other.reset();  // the server is gone
  auto failing = ASIHTTPRequest::requestWithURL(url, cache_, http::ASIDoNotReadFromCacheCachePolicy);
  failing->startSynchronous();
  EXPECT_EQ(errorCode(*failing), http::ASIConnectionFailureErrorType);
  auto fallback = ASIHTTPRequest::requestWithURL(
      url, cache_,
      http::ASIAskServerIfModifiedCachePolicy | http::ASIFallbackToCacheIfLoadFailsCachePolicy);
  fallback->startSynchronous();
  EXPECT_EQ(errorCode(*fallback), 0);
  EXPECT_TRUE(fallback->didUseCachedResponse());
  EXPECT_EQ(fallback->responseString(), "kept");
}

TEST_F(CacheTest, AGzipResponseIsStoredInflatedAndAFailedBodyWriteStoresNothing) {
  const std::string text(3000, 'g');
  server_.on("/gz", ScriptedReply::ok(http::ASIDataCompressor::compressData(text, nullptr).value())
                        .header("Content-Encoding", "gzip"));
  get("/gz");
  EXPECT_EQ(cache_->cachedResponseDataForURL(server_.url("/gz")), text);
  EXPECT_FALSE(cache_->cachedResponseHeadersForURL(server_.url("/gz"))->contains("Content-Encoding"));

  server_.on("/blocked", ScriptedReply::ok("body"));
  auto probe = ASIHTTPRequest::requestWithURL(server_.url("/blocked"), cache_);
  const auto bodyPath = cache_->pathToStoreCachedResponseDataForRequest(*probe);
  ASSERT_TRUE(bodyPath);
  fs::create_directories(fs::path(*bodyPath) / "in the way");
  EXPECT_EQ(get("/blocked")->responseString(), "body");
  EXPECT_FALSE(cache_->pathToCachedResponseHeadersForURL(server_.url("/blocked")));
}

}  // namespace
}  // namespace nb::test
