// nubren-devserver: the fake service as a standalone program, with a demo
// account and a demo library, so the client can be run against it by hand.
//   nubren-devserver [--port N] [--https]
// It prints its base URL, the demo sign-in, the CA file to trust (HTTPS),
// the storage server and a live token pair, then serves until interrupted.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "support/FakeDemo.h"
#include "support/FakeStorageServer.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: nubren-devserver [--port N] [--https]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  nb::test::FakeService::Options options;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--https") == 0) {
      options.https = true;
    } else if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      const long port = std::strtol(argv[++i], nullptr, 10);
      if (port <= 0 || port > 65535) return usage();
      options.port = static_cast<uint16_t>(port);
    } else {
      return usage();
    }
  }

  // Block the stop signals before any server thread exists, so that only
  // sigwait() below sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    nb::test::FakeDemo demo(options);
    nb::test::FakeService& api = demo.api();
    const auto tokens = api.tokens().issue();
    std::printf("serving %s (api host %s)\n", api.baseUrl().c_str(), api.host().c_str());
    std::printf("sign in as %s, password %s\n", nb::test::FakeDemo::kAccount,
                nb::test::FakeDemo::kPassword);
    std::printf("demo library: mount id %lld\n", static_cast<long long>(nb::test::FakeDemo::kMountId));
    std::printf("storage server %s\n", demo.storage().baseUrl().c_str());
    if (options.https) std::printf("ca file %s\n", api.caFile().c_str());
    std::printf("access token %s\nrefresh token %s\n", tokens.accessToken.c_str(),
                tokens.refreshToken.c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&stopSignals, &received);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "nubren-devserver: %s\n", error.what());
    return 1;
  }
  return 0;
}
