// Web pages fetched with what they refer to: which references are fetched,
// the page rewritten to stand on its own (data URIs or relative paths),
// references that lead back to the page, failed resources, and the rules
// for style sheet urls and relative paths.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "http/HttpTestSupport.h"
#include "http/webpage/ASIWebPageRequest.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

using http::ASIWebPageRequest;

ScriptedReply typed(const std::string& type, std::string body) {
  return ScriptedReply::ok(std::move(body)).header("Content-Type", type);
}

std::string dataUri(const std::string& type, const std::string& bytes) {
  return "data:" + type + ";base64," + http::ASIHTTPRequest::base64forData(bytes);
}

class WebPageTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    registerTestIdentity();
  }

  // The GETs the server saw (accurate progress sends a HEAD before each).
  std::vector<std::string> paths() const {
    std::vector<std::string> seen;
    for (const auto& r : server_.requests()) {
      if (r.method == "GET") seen.push_back(r.target);
    }
    std::sort(seen.begin(), seen.end());
    return seen;
  }

  std::shared_ptr<ASIWebPageRequest> page(const std::string& path, int mode) {
    auto made = ASIWebPageRequest::requestWithURL(server_.url(path));
    made->urlReplacementMode = mode;
    return made;
  }

  // The delegate also hears the resources' ends: wait for the page's own.
  static bool runPage(const std::shared_ptr<ASIWebPageRequest>& request, RecordingDelegate& delegate) {
    bool ended = false;
    request->setDelegate(&delegate);
    request->setCompletionBlock([&] { ended = true; });
    request->setFailedBlock([&] { ended = true; });
    request->startAsynchronous();
    const bool done = pumpMainThreadUntil([&] { return ended; });
    request->releaseBlocksOnMainThread();
    return done;
  }

  ScriptedHttpServer server_;
  RecordingDelegate delegate_;
};

constexpr const char* kPage =
    "<html><head>"
    "<link rel=\"StyleSheet\" href=\"/site.css\">"
    "<link rel=\"icon\" href=\"/icon.png\">"
    "<link rel=\"alternate stylesheet\" href=\"/alt.css\">"
    "<script src=\"/app.js\"></script><script src=\"a.js\"></script>"
    "</head><body>"
    "<img src=\"/logo.png\"><img src=\"data:image/gif;base64,R0lG\">"
    "<img src=\"file:///etc/hostname\">"
    "<div style=\"background: url('/x.png')\">x</div>"
    "<a href=\"/other.html\">other</a>"
    "<video><source src=\"/clip.webm\"></video>"
    "<audio src=\"/song.OGG\"></audio><audio src=\"/song.mp3\"></audio>"
    "</body></html>";

TEST_F(WebPageTest, PageWithStyleSheetScriptImagesAndCssUrlBecomesOneDocument) {
  server_.on("/page.html", typed("text/html; charset=utf-8", kPage));
  server_.on("/site.css", typed("text/css", "body { background: url(\"/bg.png\") }"));
  server_.on("/app.js", typed("application/javascript", "run();"));
  server_.on("/logo.png", typed("image/png", "LOGO"));
  server_.on("/x.png", typed("image/png", "XIMG"));
  server_.on("/bg.png", typed("image/png", "BACKGROUND"));
  server_.on("/song.mp3", typed("audio/mpeg", "MP3"));
  auto request = page("/page.html", http::ASIReplaceExternalResourcesWithData);
  ASSERT_TRUE(runPage(request, delegate_));
  ASSERT_EQ(errorCode(*request), 0);

  // Icons, alternate sheets, links, short, data:, file: and skipped media
  // are never asked for.
  EXPECT_EQ(paths(), (std::vector<std::string>{"/app.js", "/bg.png", "/logo.png", "/page.html",
                                               "/site.css", "/song.mp3", "/x.png"}));
  const std::string body = request->responseString().value_or("");
  const std::string css = "body { background: url(\"" + dataUri("image/png", "BACKGROUND") + "\") }";
  EXPECT_NE(body.find(dataUri("text/css", css)), std::string::npos) << body;
  EXPECT_NE(body.find(dataUri("application/javascript", "run();")), std::string::npos);
  EXPECT_NE(body.find(dataUri("image/png", "LOGO")), std::string::npos);
  EXPECT_NE(body.find("url('" + dataUri("image/png", "XIMG") + "')"), std::string::npos);
  EXPECT_NE(body.find(dataUri("audio/mpeg", "MP3")), std::string::npos);
  EXPECT_NE(body.find("href=\"/other.html\""), std::string::npos);
  EXPECT_NE(body.find("data:image/gif;base64,R0lG"), std::string::npos);
  EXPECT_NE(body.find("file:///etc/hostname"), std::string::npos);
  EXPECT_EQ(body.find("<?xml"), std::string::npos);
  // The top page's delegate hears every resource end, then the page's own.
  EXPECT_EQ(delegate_.finished, 7);
  EXPECT_EQ(delegate_.events.back(), "finished");
}

TEST_F(WebPageTest, LocalCopiesModeWritesRelativePathsAndAbsoluteLinks) {
  server_.on("/dir/page.html",
             typed("text/html", "<html><body><img src=\"logo.png\"><a href=\"next.html\">n</a></body></html>"));
  server_.on("/dir/logo.png", typed("image/png", "LOGO"));
  auto request = page("/dir/page.html", http::ASIReplaceExternalResourcesWithLocalURLs);
  const std::filesystem::path target = home() / "page.html";
  request->setDownloadDestinationPath(target.string());
  ASSERT_TRUE(runPage(request, delegate_));
  ASSERT_EQ(errorCode(*request), 0);

  const auto list = request->resourceList();
  ASSERT_EQ(list.size(), 1u);
  const std::string copy = list.at("logo.png").dataPath.value_or("");
  std::ifstream in(copy);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "LOGO");
  std::ifstream saved(target);
  const std::string body(std::istreambuf_iterator<char>(saved), {});
  EXPECT_NE(body.find("src=\"" + ASIWebPageRequest::relativePathTo(copy, target.string()) + "\""),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("href=\"" + server_.url("/dir/next.html") + "\""), std::string::npos) << body;
}

TEST_F(WebPageTest, ReferencesBackToThePageOrItsParentsAreNotFetchedAgain) {
  server_.on("/filter.css", typed("text/css", "p { filter: url(#filter1) } q { b: url(filter.css) }"));
  server_.on("/one.html", typed("text/html", "<html><body><iframe src=\"/two.html\"></iframe></body></html>"));
  server_.on("/two.html", typed("text/html", "<html><body><iframe src=\"/one.html\"></iframe></body></html>"));
  auto sheet = page("/filter.css", http::ASIReplaceExternalResourcesWithData);
  ASSERT_TRUE(runPage(sheet, delegate_));
  EXPECT_EQ(errorCode(*sheet), 0);
  EXPECT_EQ(paths(), std::vector<std::string>{"/filter.css"});

  RecordingDelegate frames;
  auto framed = page("/one.html", http::ASIReplaceExternalResourcesWithData);
  ASSERT_TRUE(runPage(framed, frames));
  EXPECT_EQ(errorCode(*framed), 0);
  EXPECT_EQ(paths(), (std::vector<std::string>{"/filter.css", "/one.html", "/two.html"}));
}

TEST_F(WebPageTest, APageWithOnlyLinksFinishesWithoutResourceQueue) {
  server_.on("/links.html", typed("text/html", "<html><body><a href=\"/x.html\">x</a></body></html>"));
  auto request = page("/links.html", http::ASIReplaceExternalResourcesWithData);
  ASSERT_TRUE(runPage(request, delegate_));
  EXPECT_EQ(errorCode(*request), 0);
  EXPECT_EQ(request->externalResourceQueue(), nullptr);
  EXPECT_EQ(request->webContentType(), ASIWebPageRequest::HTMLContent);
  EXPECT_EQ(delegate_.finished, 1);
}

TEST_F(WebPageTest, AFailedResourceFailsThePageUnlessErrorsArePassedOver) {
  ScriptedReply drop;
  drop.dropBeforeHead = true;
  server_.on("/broken.png", drop);
  server_.on("/page.html", typed("text/html", "<html><body><img src=\"/broken.png\"></body></html>"));
  auto strict = page("/page.html", http::ASIReplaceExternalResourcesWithData);
  ASSERT_TRUE(runPage(strict, delegate_));
  pumpMainThread();
  EXPECT_EQ(errorCode(*strict), http::ASIConnectionFailureErrorType);
  EXPECT_EQ(delegate_.events.back(), "failed");

  RecordingDelegate lenient;
  auto passing = page("/page.html", http::ASIReplaceExternalResourcesWithData);
  passing->shouldIgnoreExternalResourceErrors = false;
  ASSERT_TRUE(runPage(passing, lenient));
  EXPECT_EQ(errorCode(*passing), 0);
  EXPECT_NE(passing->responseString().value_or("").find("src=\"/broken.png\""), std::string::npos);
}

TEST_F(WebPageTest, PagesParsedSideBySideAndOneAfterAnother) {
  server_.on("/p.html", typed("text/html", "<html><body><img src=\"/i.png\"></body></html>"));
  server_.on("/i.png", typed("image/png", "I"));
  std::vector<std::shared_ptr<ASIWebPageRequest>> pages;
  std::vector<RecordingDelegate> delegates(4);
  int ended = 0;
  for (auto& d : delegates) {
    pages.push_back(page("/p.html", http::ASIReplaceExternalResourcesWithData));
    pages.back()->setDelegate(&d);
    pages.back()->setCompletionBlock([&] { ++ended; });
    pages.back()->setFailedBlock([&] { ++ended; });
    pages.back()->startAsynchronous();
  }
  ASSERT_TRUE(pumpMainThreadUntil([&] { return ended == 4; }));
  RecordingDelegate later;
  auto last = page("/p.html", http::ASIReplaceExternalResourcesWithData);
  ASSERT_TRUE(runPage(last, later));
  pages.push_back(last);
  for (const auto& p : pages) {
    EXPECT_EQ(errorCode(*p), 0);
    EXPECT_NE(p->responseString().value_or("").find(dataUri("image/png", "I")), std::string::npos);
  }
}

TEST_F(WebPageTest, ANonPageAnswerFinishesAsAnyRequest) {
  server_.on("/plain", typed("text/plain", "url(/nothing.png)"));
  auto request = page("/plain", http::ASIReplaceExternalResourcesWithData);
  ASSERT_TRUE(runPage(request, delegate_));
  EXPECT_EQ(errorCode(*request), 0);
  EXPECT_EQ(request->responseString(), "url(/nothing.png)");
  EXPECT_EQ(server_.requests().size(), 1u);
}

TEST(WebPageRules, StyleSheetUrls) {
  struct Case {
    const char* text;
    std::vector<std::string> found;
  };
  const Case cases[] = {
      {"a { b: URL( \"x.png\" ) } c { d: url('y.png') }", {"x.png", "y.png"}},
      {"a { b: url(  ' spaced.png ' ) }", {"spaced.png"}},
      {"url() url(after.png)", {}},
      {"no references", {}},
      {"url(data:image/png;base64,AA)", {"data:image/png;base64,AA"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ASIWebPageRequest::CSSURLsFromString(c.text), c.found) << c.text;
}

TEST(WebPageRules, RelativePaths) {
  struct Case {
    const char* target;
    const char* base;
    const char* relative;
  };
  const Case cases[] = {
      {"/site/b/img.png", "/site/a/page.html", "../b/img.png"},
      {"/site/a/res.css", "/site/a/page.html", "res.css"},
      {"/cache/ABC.html", "/home/u/page.html", "../../cache/ABC.html"},
      {"/site/a/page.html", "/site/a/page.html", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ASIWebPageRequest::relativePathTo(c.target, c.base), c.relative) << c.target;
  }
}

TEST(WebPageRules, ReferencesThatAreNotFetched) {
  auto request = ASIWebPageRequest::requestWithURL("http://127.0.0.1:9/dir/page.html");
  for (const char* reference : {"a.js", " data:text/plain,abc", "file:///etc/passwd", "#topmost",
                                "page.html", "/dir/page.html#frag", "ftp://127.0.0.1/x.bin"}) {
    request->addURLToFetch(reference);
  }
  request->addURLToFetch("  \n/img.png\t");
  request->addURLToFetch("/img.png");
  const auto list = request->resourceList();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_TRUE(list.contains("/img.png"));
}

}  // namespace
}  // namespace nb::test
