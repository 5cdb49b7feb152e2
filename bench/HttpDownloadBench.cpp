// Downloads 1 GiB from the scripted loopback server through an asynchronous
// request whose delegate takes the data chunks on the main thread, and the
// same URL with `curl -o /dev/null` in the same run, for comparison. Both
// report bytes per second (MB/s in the console output). A throttled upload
// shows that the class-wide limit holds.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "http/request/ASIHTTPRequest.h"
#include "http/shared/ASIHTTPRequestDefaults.h"
#include "http/shared/BandwidthMeter.h"
#include "support/PumpMainThread.h"
#include "support/ScriptedHttpServer.h"

namespace {

using nb::http::ASIHTTPRequest;
using nb::test::ScriptedHttpServer;
using nb::test::ScriptedReply;

constexpr uint64_t kBytes = 1ull << 30;

class CountingDelegate : public nb::http::ASIHTTPRequestDelegate {
 public:
  uint64_t received = 0;
  bool ended = false;
  bool failed = false;
  bool respondsToSelector(std::string_view name) const override {
    return name == nb::http::selector::didReceiveData ||
           name == nb::http::selector::requestFinished ||
           name == nb::http::selector::requestFailed;
  }
  void requestDidReceiveData(ASIHTTPRequest&, const std::string& data) override {
    received += data.size();
  }
  void requestFinished(ASIHTTPRequest&) override { ended = true; }
  void requestFailed(ASIHTTPRequest&) override { ended = failed = true; }
};

ScriptedHttpServer& server() {
  static ScriptedHttpServer* const instance = [] {
    nb::http::ASIHTTPRequestDefaults::registerApplicationIdentity({"nubren-bench", "1.0", "1"});
    auto* made = new ScriptedHttpServer();
    ScriptedReply big;
    big.generatedBytes = kBytes;
    made->on("/big", big);
    return made;
  }();
  return *instance;
}

void BM_AsynchronousRequestToDelegate(benchmark::State& state) {
  for (auto _ : state) {
    auto request = ASIHTTPRequest::requestWithURL(server().url("/big"));
    request->shouldAttemptPersistentConnection = false;
    request->timeOutSeconds = 60;
    CountingDelegate delegate;
    request->setDelegate(&delegate);
    request->startAsynchronous();
    nb::test::pumpMainThreadUntil([&] { return delegate.ended; }, std::chrono::minutes(5));
    if (delegate.failed || delegate.received != kBytes) state.SkipWithError("download failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void BM_CurlCommandLine(benchmark::State& state) {
  const std::string command = "curl -s -o /dev/null " + server().url("/big");
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("curl failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

// A 4 MiB upload under a class-wide limit of 1 MiB/s: should take 3.5 to 6 s.
void BM_ThrottledUpload(benchmark::State& state) {
  nb::http::BandwidthMeter::shared().setMaxBandwidthPerSecond(1 << 20);
  server().on("/sink", ScriptedReply::ok());
  for (auto _ : state) {
    auto request = ASIHTTPRequest::requestWithURL(server().url("/sink"));
    request->setRequestMethod("PUT");
    request->appendPostData(std::string(4 << 20, 'u'));
    request->timeOutSeconds = 60;
    request->startSynchronous();
    if (request->error()) state.SkipWithError("upload failed");
  }
  nb::http::BandwidthMeter::shared().setMaxBandwidthPerSecond(0);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (4 << 20));
}

BENCHMARK(BM_ThrottledUpload)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_AsynchronousRequestToDelegate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_CurlCommandLine)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
