// Class-wide settings and utilities: User-Agent, Content-Type, dates,
// expiry, bandwidth, the network thread.

#include <gtest/gtest.h>

#include <thread>

#include "http/engine/NetworkThread.h"
#include "http/request/ASIHTTPRequest.h"
#include "http/shared/ASIHTTPRequestDefaults.h"
#include "http/shared/BandwidthMeter.h"
#include "http/shared/ContentType.h"
#include "platform/OperationQueue.h"
#include "support/ManualClock.h"
#include "http/HttpTestSupport.h"

namespace nb::test {
namespace {

using namespace nb::http;

TEST(UserAgent, NameBytesVersionAndSystem) {
  struct Case {
    ApplicationIdentity identity;
    const char* expected;
  };
  const Case cases[] = {
      {{"Caf\xC3\xA9", "2.1", "2.1"}, "Caf\xC3\x83\xC2\xA9 2.1 (X11; Debian 12; en_US)"},
      {{"nubren", "2.1", "345"}, "nubren 2.1 rv:345 (X11; Debian 12; en_US)"},
      {{"nubren", std::nullopt, "345"}, "nubren 345 (X11; Debian 12; en_US)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ASIHTTPRequestDefaults::formatUserAgent(c.identity, "Debian", "12", "en_US"),
              c.expected);
  }
}

TEST(UserAgent, NoNameMeansNoDefault) {
  ASIHTTPRequestDefaults::setDefaultUserAgentString(std::nullopt);
  ASIHTTPRequestDefaults::registerApplicationIdentity({});
  EXPECT_FALSE(ASIHTTPRequestDefaults::defaultUserAgentString());
  ASIHTTPRequestDefaults::registerApplicationIdentity({"nubren", "1.0", "1.0"});
  const auto agent = ASIHTTPRequestDefaults::defaultUserAgentString();
  ASSERT_TRUE(agent);
  EXPECT_TRUE(agent->starts_with("nubren 1.0 (X11; "));
}

TEST(ContentTypeParsing, Table) {
  struct Case {
    const char* contentType;
    const char* mime;
    uint64_t encoding;
  };
  const Case cases[] = {
      {"text/html; charset=utf-8", "text/html", ASIUTF8StringEncoding},
      {"text/html; charset=nonsense", "text/html", ASIISOLatin1StringEncoding},
      {"text/html", "text/html", ASIISOLatin1StringEncoding},
      {" application/json ", "application/json", ASIISOLatin1StringEncoding},
      {"text/plain;CHARSET=utf-8", "text/plain", ASIUTF8StringEncoding},
      {"text/plain; format=flowed; Charset=ISO-8859-1; x=y", "text/plain",
       ASIISOLatin1StringEncoding},
  };
  for (const Case& c : cases) {
    std::optional<std::string> mime;
    uint64_t encoding = ASIISOLatin1StringEncoding;
    parseMimeTypeAndResponseEncoding(mime, encoding, c.contentType);
    EXPECT_EQ(mime, c.mime) << c.contentType;
    EXPECT_EQ(encoding, c.encoding) << c.contentType;
  }
}

TEST(HttpDates, WithAndWithoutWeekdayAndSeconds) {
  EXPECT_EQ(dateFromRFC1123String("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
  EXPECT_EQ(dateFromRFC1123String("06 Nov 1994 08:49 GMT"), 784111740);
  EXPECT_FALSE(dateFromRFC1123String("Sunday, 06-Nov-94 08:49:37 GMT"));
  EXPECT_FALSE(dateFromRFC1123String("yesterday"));
}

TEST(CacheExpiry, MaxAgeExpiresOrNothing) {
  EXPECT_FALSE(expiryDateForResponse({{"Cache-Control", "max-age=0"}}, 0, 1000));
  EXPECT_EQ(expiryDateForResponse({{"Cache-Control", "public, Max-Age=60"}}, 0, 1000), 1060);
  EXPECT_EQ(expiryDateForResponse({{"Expires", "Sun, 06 Nov 1994 08:49:37 GMT"}}, 0, 1000),
            784111777);
  EXPECT_EQ(expiryDateForResponse({}, 30, 1000), 1030);
}

TEST(Bandwidth, WindowsOfSteadyTrafficAndAnEmptyWindow) {
  auto clock = std::make_shared<ManualClock>();
  ScopedClockOverride override(clock);
  BandwidthMeter& meter = BandwidthMeter::shared();
  meter.resetForTesting();
  meter.measureBandwidthUsage();  // opens the first window
  for (const uint64_t bytes : {1000u, 2000u, 3000u}) {
    meter.incrementBandwidthUsedInLastSecond(bytes);
    clock->advance(std::chrono::milliseconds(1100));
    meter.measureBandwidthUsage();
    EXPECT_EQ(meter.averageBandwidthUsedPerSecond(), bytes);
  }
  clock->advance(std::chrono::milliseconds(1100));
  meter.measureBandwidthUsage();
  EXPECT_EQ(meter.averageBandwidthUsedPerSecond(), 0u);
}

TEST(NetworkThread, MadeOnceUnderARaceOfFirstUsers) {
  std::vector<CurlDriver*> seen(8);
  std::vector<std::thread> users;
  for (size_t i = 0; i < seen.size(); ++i) {
    users.emplace_back([&seen, i] { seen[i] = &NetworkThread::driver(); });
  }
  for (auto& user : users) user.join();
  for (CurlDriver* driver : seen) EXPECT_EQ(driver, seen.front());
  EXPECT_FALSE(seen.front()->isOwnerThread());
}

TEST(SharedQueue, StartsFourWide) {
  EXPECT_EQ(ASIHTTPRequest::sharedQueue().maxConcurrentOperationCount(), 4);
}

TEST(Errors, CannedErrorsCarryTheDomainAndTheirTexts) {
  EXPECT_EQ(ASIRequestCancelledError()->domain(), "ASIHTTPRequestErrorDomain");
  EXPECT_EQ(ASIRequestCancelledError()->code(), 4);
  EXPECT_EQ(ASITooMuchRedirectionError()->localizedDescription(),
            "The request failed because it redirected too many times");
  EXPECT_EQ(ASIUnableToCreateRequestError()->localizedDescription(),
            "Unable to create request (bad url?)");
}

}  // namespace
}  // namespace nb::test

namespace nb::test {
namespace {

using http::BandwidthMeter;

TEST(Throttling, UploadAllowanceUnderALimitOf1000) {
  auto clock = std::make_shared<ManualClock>();
  ScopedClockOverride override(clock);
  BandwidthMeter& meter = BandwidthMeter::shared();
  meter.resetForTesting();
  EXPECT_EQ(meter.maxUploadReadLength(), 0u);  // no limit
  meter.setMaxBandwidthPerSecond(1000);
  meter.measureBandwidthUsage();  // opens a window
  EXPECT_EQ(meter.maxUploadReadLength(), 250u);
  meter.incrementBandwidthUsedInLastSecond(900);
  EXPECT_EQ(meter.maxUploadReadLength(), 100u);
  meter.incrementBandwidthUsedInLastSecond(200);
  EXPECT_EQ(meter.maxUploadReadLength(), 0u);
  EXPECT_TRUE(meter.throttleWakeUpTime());
  meter.resetForTesting();
}

TEST(Throttling, AnUploadIsCountedOnceInTheWindow) {
  registerTestIdentity();
  auto clock = std::make_shared<ManualClock>();
  ScopedClockOverride override(clock);
  BandwidthMeter::shared().resetForTesting();
  BandwidthMeter::shared().measureBandwidthUsage();
  ScriptedHttpServer server;
  server.on("/up", ScriptedReply::ok());
  auto request = http::ASIHTTPRequest::requestWithURL(server.url("/up"));
  request->setRequestMethod("PUT");
  request->appendPostData(std::string(300'000, 'n'));
  request->startSynchronous();
  EXPECT_EQ(errorCode(*request), 0);
  EXPECT_EQ(BandwidthMeter::shared().bandwidthUsedInLastSecond(), 300'000u);
}

}  // namespace
}  // namespace nb::test
