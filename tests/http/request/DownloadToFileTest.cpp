// Downloads into a file: the temporary file, resuming it, moving or inflating
// it into place, and what is left on disk when a download ends badly.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "http/HttpTestSupport.h"
#include "http/gzip/ASIDataDecompressor.h"

namespace nb::test {
namespace {

using http::ASIHTTPRequest;
namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string sample(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('A' + (i * 7 + i / 251) % 26);
  return text;
}

class DownloadToFile : public ::testing::Test {
 protected:
  void SetUp() override {
    registerTestIdentity();
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::shared_ptr<ASIHTTPRequest> download(const std::string& path,
                                           const std::function<void(ASIHTTPRequest&)>& setUp = {}) {
    auto request = ASIHTTPRequest::requestWithURL(server_.url(path));
    request->setDownloadDestinationPath(destination_.string());
    if (setUp) setUp(*request);
    request->startSynchronous();
    return request;
  }

  ScriptedHttpServer server_;
  fs::path folder_ = http::temporaryFilePath();
  fs::path destination_ = folder_ / "out.bin";
  fs::path partial_ = folder_ / "out.bin.download";
};

struct PlainOrGzip {
  const char* name;
  bool gzip;
  bool inflateWhileReading;
  bool destinationExists;
};

class DownloadCases : public DownloadToFile, public ::testing::WithParamInterface<PlainOrGzip> {};

TEST_P(DownloadCases, TheBodyEndsUpAtTheDestinationAndNoTemporaryFileStays) {
  const std::string body = sample(300'000);
  ScriptedReply reply = ScriptedReply::ok(body);
  if (GetParam().gzip) {
    reply = ScriptedReply::ok(http::ASIDataCompressor::compressData(body, nullptr).value())
                .header("Content-Encoding", "gzip");
  }
  server_.on("/file", reply);
  if (GetParam().destinationExists) writeFile(destination_, "an older copy, longer than nothing");
  const auto request = download("/file", [&](ASIHTTPRequest& r) {
    r.shouldWaitToInflateCompressedResponses = !GetParam().inflateWhileReading;
  });
  ASSERT_EQ(errorCode(*request), 0);
  EXPECT_EQ(readFile(destination_), body);
  EXPECT_FALSE(request->temporaryFileDownloadPath());
  EXPECT_FALSE(request->temporaryUncompressedDataDownloadPath());
  EXPECT_FALSE(request->rawResponseData().value_or("").size());
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DownloadCases,
    ::testing::Values(PlainOrGzip{"plain", false, false, false},
                      PlainOrGzip{"plainOverAnOlderCopy", false, false, true},
                      PlainOrGzip{"gzipInflatedAfter", true, false, false},
                      PlainOrGzip{"gzipInflatedWhileReading", true, true, true}),
    [](const auto& test) { return std::string(test.param.name); });

// Answers "Range: bytes=N-" with 206 and the rest, or the whole body when
// `honourRange` is off.
ScriptedHttpServer::Script rangeServer(const std::string& body, bool honourRange) {
  return [body, honourRange](const ScriptedRequest& request) {
    const auto range = request.header("Range");
    if (!range || !honourRange) return ScriptedReply::ok(body);
    const size_t from = std::stoul(range->substr(range->find('=') + 1));
    ScriptedReply rest = ScriptedReply::ok(body.substr(from));
    rest.status = 206;
    rest.reason = "Partial Content";
    return rest.header("Content-Range", "bytes " + std::to_string(from) + "-" +
                                            std::to_string(body.size() - 1) + "/" +
                                            std::to_string(body.size()));
  };
}

TEST_F(DownloadToFile, AResumedDownloadAsksForTheRestAndAppendsIt) {
  const std::string body = sample(100'000);
  server_.on("/file", rangeServer(body, true));
  writeFile(partial_, body.substr(0, 40'000));
  const auto request = download("/file", [&](ASIHTTPRequest& r) {
    r.allowResumeForFileDownloads = true;
    r.setTemporaryFileDownloadPath(partial_.string());
  });
  ASSERT_EQ(errorCode(*request), 0);
  EXPECT_EQ(server_.requests().back().header("Range"), "bytes=40000-");
  EXPECT_EQ(request->partialDownloadSize(), 40'000u);
  EXPECT_EQ(request->responseStatusCode(), 206);
  EXPECT_EQ(readFile(destination_), body);
  EXPECT_FALSE(fs::exists(partial_));
}

TEST_F(DownloadToFile, AServerThatIgnoresTheRangeHasTheFileWrittenFromItsStart) {
  const std::string body = sample(100'000);
  server_.on("/file", rangeServer(body, false));
  writeFile(partial_, body.substr(0, 40'000));
  const auto request = download("/file", [&](ASIHTTPRequest& r) {
    r.allowResumeForFileDownloads = true;
    r.setTemporaryFileDownloadPath(partial_.string());
  });
  ASSERT_EQ(errorCode(*request), 0);
  EXPECT_EQ(request->partialDownloadSize(), 0u);
  EXPECT_EQ(readFile(destination_), body);
}

TEST_F(DownloadToFile, ACutDownloadKeepsItsPartOnlyWhenItMayResume) {
  const std::string body = sample(200'000);
  ScriptedReply cut = ScriptedReply::ok(body);
  cut.dropAfterBodyBytes = 70'000;
  server_.on("/cut", cut);
  for (const bool resumable : {false, true}) {
    fs::remove(partial_);
    const auto request = download("/cut", [&](ASIHTTPRequest& r) {
      r.allowResumeForFileDownloads = resumable;
      r.setTemporaryFileDownloadPath(partial_.string());
    });
    EXPECT_EQ(errorCode(*request), http::ASIConnectionFailureErrorType) << resumable;
    EXPECT_FALSE(fs::exists(destination_)) << resumable;
    ASSERT_EQ(fs::exists(partial_), resumable);
    if (resumable) {
      const std::string kept = readFile(partial_);
      EXPECT_EQ(kept, body.substr(0, kept.size()));
      EXPECT_GT(kept.size(), 0u);
    }
  }
  // The kept part is continued by the next run.
  server_.on("/cut", rangeServer(body, true));
  const auto resumed = download("/cut", [&](ASIHTTPRequest& r) {
    r.allowResumeForFileDownloads = true;
    r.setTemporaryFileDownloadPath(partial_.string());
  });
  ASSERT_EQ(errorCode(*resumed), 0);
  EXPECT_EQ(readFile(destination_), body);
}

TEST_F(DownloadToFile, FileErrorsFailWithCode8) {
  server_.on("/file", ScriptedReply::ok("body"));
  // The destination cannot be replaced: a folder with something in it.
  fs::create_directories(destination_ / "inside");
  const auto blocked = download("/file");
  ASSERT_TRUE(blocked->error());
  EXPECT_EQ(blocked->error()->code(), http::ASIFileManagementError);
  EXPECT_EQ(blocked->error()->localizedDescription(),
            "Failed to delete file at path '" + destination_.string() + "'");
  ASSERT_TRUE(blocked->error()->underlyingError());

  fs::remove_all(destination_);
  const fs::path nowhere = folder_ / "missing" / "out.bin";
  auto unmovable = ASIHTTPRequest::requestWithURL(server_.url("/file"));
  unmovable->setDownloadDestinationPath(nowhere.string());
  unmovable->startSynchronous();
  ASSERT_TRUE(unmovable->error());
  EXPECT_EQ(unmovable->error()->code(), http::ASIFileManagementError);
  EXPECT_TRUE(unmovable->error()->localizedDescription().starts_with("Failed to move file from '"));
  EXPECT_TRUE(unmovable->error()->localizedDescription().ends_with("' to '" + nowhere.string() + "'"));
}

TEST(RemoveFile, MissingIsSuccessAndAFolderWithContentIsCode8) {
  const fs::path folder = http::temporaryFilePath();
  EXPECT_TRUE(ASIHTTPRequest::removeFileAtPath((folder / "none").string(), nullptr));
  fs::create_directories(folder / "sub");
  writeFile(folder / "file", "x");
  http::ASIErrorPtr error;
  EXPECT_TRUE(ASIHTTPRequest::removeFileAtPath((folder / "file").string(), &error));
  EXPECT_FALSE(fs::exists(folder / "file"));
  EXPECT_FALSE(error);
  EXPECT_FALSE(ASIHTTPRequest::removeFileAtPath(folder.string(), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), http::ASIFileManagementError);
  EXPECT_EQ(error->localizedDescription(), "Failed to delete file at path '" + folder.string() + "'");
  EXPECT_FALSE(ASIHTTPRequest::removeFileAtPath(folder.string(), nullptr));
  fs::remove_all(folder);
}

TEST(RemoveFile, TheRequestsTemporaryFilesGoAndUnsetPathsAreSuccess) {
  auto request = ASIHTTPRequest::requestWithURL("http://127.0.0.1:1/x");
  EXPECT_TRUE(request->removeTemporaryDownloadFile());
  EXPECT_TRUE(request->removeTemporaryUncompressedDownloadFile());
  EXPECT_TRUE(request->removeTemporaryUploadFile());
  EXPECT_TRUE(request->removeTemporaryCompressedUploadFile());
  const std::string path = http::temporaryFilePath();
  writeFile(path, "x");
  request->setTemporaryFileDownloadPath(path);
  EXPECT_TRUE(request->removeTemporaryDownloadFile());
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(request->temporaryFileDownloadPath());
  EXPECT_FALSE(request->error());
}

}  // namespace
}  // namespace nb::test
