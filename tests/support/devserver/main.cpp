// nubren-devserver: the fake service as a standalone program, so the client
// can be run against it by hand.
//   nubren-devserver [--port N] [--https]
// It prints its base URL, the CA file to trust (HTTPS) and a live token pair,
// then serves until interrupted.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "support/FakeService.h"
#include "support/FakeStandardEndpoints.h"

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
    nb::test::FakeService service(options);
    nb::test::installStandardEndpoints(service);
    const auto tokens = service.tokens().issue();
    std::printf("serving %s\n", service.baseUrl().c_str());
    if (options.https) std::printf("ca file %s\n", service.caFile().c_str());
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
