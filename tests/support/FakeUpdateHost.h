#pragma once
// The service's update host on a FakeService: the update query
// ("/update/app"), the web UI package ("/update/gui"), the customisation
// package ("/update/custom") and archive downloads ("/files/<name>"). None
// checks a signature or a token; every request stays in the service's call
// log for the test to read.
//
// Thread-safe: the test sets answers while the service serves.

#include <memory>
#include <mutex>
#include <string>

#include "support/FakeService.h"

namespace nb::test {

class FakeUpdateHost {
 public:
  // Registers the endpoints on `service`, which must outlive this object.
  explicit FakeUpdateHost(FakeService& service);

  // The update query's body; "" answers 404.
  void setOffer(const std::string& body);
  // The web UI package: `status` with `body` (an empty body answers 404).
  void setUiPackage(std::string body, int status = 200);
  // The customisation package answer.
  void setConfigPackage(std::string body, int status = 200);
  // Serves `bytes` at "/files/<name>"; answers its address on the service.
  std::string serveFile(const std::string& name, std::string bytes);

 private:
  struct Answer {
    int status = 404;
    std::string body;
  };
  struct State {
    std::mutex mutex;
    std::string offer;
    Answer ui;
    Answer config;
  };
  FakeService& service_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace nb::test
