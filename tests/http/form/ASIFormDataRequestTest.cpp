// Form bodies as the server receives them: URL-encoded fields, multipart
// fields and files byte for byte, and names that try to break out of their
// header.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "http/HttpTestSupport.h"
#include "http/form/ASIFormDataRequest.h"

namespace nb::test {
namespace {

using http::ASIFormDataRequest;

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerTestIdentity();
    server_.on("/form", ScriptedReply::ok("ok"));
  }
  void TearDown() override { std::filesystem::remove(file_); }

  // Sends the form; answers what arrived, with the boundary written as "B".
  ScriptedRequest send(const std::shared_ptr<ASIFormDataRequest>& form) {
    form->startSynchronous();
    EXPECT_EQ(errorCode(*form), 0);
    ScriptedRequest seen = server_.requests().back();
    const std::string type = seen.header("Content-Type").value_or("");
    const size_t at = type.find("boundary=");
    if (at != std::string::npos) {
      const std::string boundary = type.substr(at + 9);
      for (size_t p; (p = seen.body.find(boundary)) != std::string::npos;) {
        seen.body.replace(p, boundary.size(), "B");
      }
    }
    return seen;
  }
  std::shared_ptr<ASIFormDataRequest> form() {
    return ASIFormDataRequest::requestWithURL(server_.url("/form"));
  }

  ScriptedHttpServer server_;
  std::string file_ = http::temporaryFilePath() + ".txt";
};

TEST_F(FormTest, UrlEncodedFields) {
  auto request = form();
  request->addPostValue("1", "a");
  request->addPostValue("x y", "b");
  request->addPostValue("é&=/+~", "c d");
  const auto seen = send(request);
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
  EXPECT_EQ(seen.body, "a=1&b=x%20y&c%20d=%C3%A9%26%3D%2F%2B%7E");
  EXPECT_EQ(request->encodeURL("AZaz09-_."), "AZaz09-_.");
  request->stringEncoding = http::ASIASCIIStringEncoding;
  EXPECT_EQ(request->encodeURL("é"), "");  // no form in ASCII
}

struct MultipartCase {
  const char* name;
  std::function<void(ASIFormDataRequest&, const std::string& file)> fill;
  std::string body;
};

class Multipart : public FormTest, public ::testing::WithParamInterface<MultipartCase> {};

TEST_P(Multipart, BodyByteForByte) {
  std::ofstream(file_) << "file text";
  auto request = form();
  GetParam().fill(*request, file_);
  const auto seen = send(request);
  const std::string type = seen.header("Content-Type").value_or("");
  EXPECT_TRUE(type.starts_with("multipart/form-data; charset=utf-8; boundary=0xKhTmLbOuNdArY-"))
      << type;
  EXPECT_EQ(type.size(), std::string("multipart/form-data; charset=utf-8; boundary=0xKhTmLbOuNdArY-").size() + 36);
  EXPECT_EQ(seen.body, GetParam().body);
  EXPECT_EQ(request->postFormat, http::ASIMultipartFormDataPostFormat);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Multipart,
    ::testing::Values(
        MultipartCase{"OneFieldNoFiles",
                      [](ASIFormDataRequest& r, const std::string&) {
                        r.postFormat = http::ASIMultipartFormDataPostFormat;
                        r.addPostValue("v", "k");
                      },
                      "--B\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nv\r\n--B--\r\n"},
        MultipartCase{"TwoFieldsAndDataTurnUrlEncodingIntoMultipart",
                      [](ASIFormDataRequest& r, const std::string&) {
                        r.addPostValue("1", "a");
                        r.addPostValue("2", "b");
                        r.addData("bytes", "up");
                      },
                      "--B\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--B\r\n"
                      "Content-Disposition: form-data; name=\"b\"\r\n\r\n2\r\n--B\r\n"
                      "Content-Disposition: form-data; name=\"up\"; filename=\"file\"\r\n"
                      "Content-Type: application/octet-stream\r\n\r\nbytes\r\n--B--\r\n"},
        MultipartCase{"AQuoteOrLineBreakCannotLeaveItsParameter",
                      [](ASIFormDataRequest& r, const std::string&) {
                        r.postFormat = http::ASIMultipartFormDataPostFormat;
                        r.addPostValue("v", "a\"b\r\nX: y");
                        r.addData("d", "n\"\r\n.txt", "text/plain", "f");
                      },
                      "--B\r\nContent-Disposition: form-data; name=\"a%22b%0D%0AX: y\"\r\n\r\nv"
                      "\r\n--B\r\nContent-Disposition: form-data; name=\"f\"; "
                      "filename=\"n%22%0D%0A.txt\"\r\nContent-Type: text/plain\r\n\r\nd\r\n--B--\r\n"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(FormTest, AFileFromDiskIsStreamedWithItsNameAndType) {
  std::ofstream(file_) << "file text";
  auto request = form();
  request->addFile(file_, "doc");
  const auto seen = send(request);
  const std::string name = std::filesystem::path(file_).filename().string();
  EXPECT_EQ(seen.body, "--B\r\nContent-Disposition: form-data; name=\"doc\"; filename=\"" + name +
                           "\"\r\nContent-Type: text/plain\r\n\r\nfile text\r\n--B--\r\n");
}

TEST_F(FormTest, SetReplacesEveryEntryOfItsKeyAndPutsItLast) {
  auto request = form();
  request->addPostValue("1", "k");
  request->addPostValue("2", "other");
  request->addPostValue("3", "k");
  request->setPostValue("4", "k");
  EXPECT_EQ(request->postData(), (std::vector<ASIFormDataRequest::PostEntry>{{"other", "2"}, {"k", "4"}}));
  request->addData("a", "f");
  request->setData("b", "g.bin", std::nullopt, "f");
  ASSERT_EQ(request->fileData()->size(), 1u);
  EXPECT_EQ(request->fileData()->front().data, "b");
  EXPECT_EQ(request->fileData()->front().fileName, "g.bin");
  EXPECT_EQ(request->fileData()->front().contentType, "application/octet-stream");
}

TEST_F(FormTest, AMissingFileFailsWithCode6AndKeepsItsEntry) {
  auto request = form();
  const std::string missing = file_ + ".missing";
  for (const std::string& path : {missing, std::filesystem::temp_directory_path().string()}) {
    request = form();
    request->addFile(path, "doc");
    ASSERT_TRUE(request->error()) << path;
    EXPECT_EQ(request->error()->code(), http::ASIInternalErrorWhileBuildingRequestType);
    EXPECT_EQ(request->error()->localizedDescription(), "No file exists at " + path);
    EXPECT_EQ(request->fileData()->size(), 1u);
  }
}

TEST_F(FormTest, ACopyKeepsFieldsFilesFormatAndEncoding) {
  auto request = form();
  request->addPostValue("1", "a");
  request->addData("x", "f");
  request->postFormat = http::ASIMultipartFormDataPostFormat;
  request->stringEncoding = http::ASIISOLatin1StringEncoding;
  const auto made = std::dynamic_pointer_cast<ASIFormDataRequest>(request->copy());
  ASSERT_TRUE(made);
  EXPECT_EQ(made->postData(), request->postData());
  EXPECT_EQ(made->fileData(), request->fileData());
  EXPECT_EQ(made->postFormat, http::ASIMultipartFormDataPostFormat);
  EXPECT_EQ(made->stringEncoding, http::ASIISOLatin1StringEncoding);
  EXPECT_EQ(made->requestMethod(), "POST");
}

}  // namespace
}  // namespace nb::test
