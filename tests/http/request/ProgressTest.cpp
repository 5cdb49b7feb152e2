// Progress reports reach the main thread and add up.

#include <gtest/gtest.h>

#include "http/HttpTestSupport.h"

namespace nb::test {
namespace {

class RecordingProgress : public http::ASIProgressDelegate {
 public:
  bool respondsToSelector(std::string_view) const override { return true; }
  void setDoubleValue(double value) override { fractions.push_back(value); }
  void setMaxValue(double value) override { maxValue = value; }
  void requestDidSendBytes(http::ASIHTTPRequest&, int64_t amount) override { sent += amount; }
  void requestDidReceiveBytes(http::ASIHTTPRequest&, int64_t amount) override {
    received += amount;
  }
  void requestIncrementUploadSizeBy(http::ASIHTTPRequest&, int64_t amount) override {
    uploadTotal += amount;
  }
  void requestIncrementDownloadSizeBy(http::ASIHTTPRequest&, int64_t amount) override {
    downloadTotal += amount;
  }
  std::vector<double> fractions;
  double maxValue = 0;
  int64_t sent = 0, received = 0, uploadTotal = 0, downloadTotal = 0;
};

TEST(Progress, ALargeUploadRisesToItsTotal) {
  registerTestIdentity();
  ScriptedHttpServer server;
  server.on("/up", ScriptedReply::ok("done"));
  auto request = http::ASIHTTPRequest::requestWithURL(server.url("/up"));
  request->setRequestMethod("PUT");
  request->appendPostData(std::string(20 << 20, 'p'));
  RecordingProgress upload;
  request->setUploadProgressDelegate(&upload);
  RecordingDelegate delegate;
  ASSERT_TRUE(runAsynchronously(request, delegate));
  pumpMainThread();
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_EQ(upload.maxValue, 1.0);
  EXPECT_GT(upload.sent, 0);
  EXPECT_EQ(upload.sent, upload.uploadTotal);
  EXPECT_LE(upload.sent, 20 << 20);
  ASSERT_FALSE(upload.fractions.empty());
  EXPECT_TRUE(std::is_sorted(upload.fractions.begin() + 1, upload.fractions.end()));
  EXPECT_DOUBLE_EQ(upload.fractions.back(), 1.0);
}

TEST(Progress, DownloadAmountsAddUpToTheLengthOrOneWithoutIt) {
  registerTestIdentity();
  ScriptedHttpServer server;
  ScriptedReply sized;
  sized.generatedBytes = 300'000;
  server.on("/sized", sized);
  ScriptedReply unsized = sized;
  unsized.framing = ScriptedReply::Framing::Chunked;
  server.on("/unsized", unsized);
  for (const auto& [path, expected] : {std::pair<const char*, int64_t>{"/sized", 300'000},
                                       std::pair<const char*, int64_t>{"/unsized", 1}}) {
    auto request = http::ASIHTTPRequest::requestWithURL(server.url(path));
    RecordingProgress download;
    request->setDownloadProgressDelegate(&download);
    RecordingDelegate delegate;
    ASSERT_TRUE(runAsynchronously(request, delegate));
    pumpMainThread();
    EXPECT_EQ(download.received, expected) << path;
    EXPECT_EQ(download.downloadTotal, expected) << path;
    EXPECT_DOUBLE_EQ(download.fractions.back(), 1.0) << path;
  }
}

TEST(Progress, ADelegateClearedBeforeDeliveryGetsNothing) {
  registerTestIdentity();
  ScriptedHttpServer server;
  server.on("/x", ScriptedReply::ok(std::string(1000, 'x')));
  auto request = http::ASIHTTPRequest::requestWithURL(server.url("/x"));
  RecordingProgress download;
  request->setDownloadProgressDelegate(&download);
  std::thread([&] { request->startSynchronous(); }).join();
  request->setDownloadProgressDelegate(nullptr);
  pumpMainThread();
  EXPECT_EQ(download.received, 0);
  EXPECT_TRUE(download.fractions.empty());
}

}  // namespace
}  // namespace nb::test
