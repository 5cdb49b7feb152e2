#pragma once
// A failure the fake service plays on one path instead of (or before) the
// endpoint's own answer. Faults are data: a test puts them in the service's
// per-path map and each answer of that path uses up one.

#include <chrono>
#include <string>

namespace nb::test {

struct FakeFault {
  enum class Kind {
    ErrorCode,        // status with {"error_code":..,"error_msg":..}, marker on
    BareStatus,       // status with an empty body, marker on
    Body,             // 200 with the marker and this raw body ("" for empty)
    NoMarker,         // the endpoint's own answer without "X-SERVER"
    LowerCaseMarker,  // the endpoint's own answer with "X-SERVER: nubren"
    Delay,            // waits, then answers as usual
    Drop,             // sends the status line, then closes mid-body
    DropAfterAnswer,  // the endpoint runs (its change stands), then as Drop
  };

  Kind kind = Kind::BareStatus;
  int status = 0;
  int code = 0;  // the "error_code" of ErrorCode
  std::string text;
  std::chrono::milliseconds delay{0};
  int remaining = -1;  // answers still to fault; -1 means every answer

  static FakeFault errorCode(int errorCode, int status = 400, std::string message = "fault");
  static FakeFault bareStatus(int status);
  static FakeFault body(std::string raw);
  static FakeFault noMarker();
  static FakeFault lowerCaseMarker();
  static FakeFault slow(std::chrono::milliseconds delay);
  static FakeFault drop();
  static FakeFault dropAfterAnswer();

  // Limits the fault to the next `count` answers.
  FakeFault times(int count) const {
    FakeFault limited = *this;
    limited.remaining = count;
    return limited;
  }
};

}  // namespace nb::test
