#pragma once
// When the dispatch loops may work: the questions each pass asks of the
// shell, the session and the sync centre. The standard gate asks the real
// ones; tests replace single answers.

#include <functional>

namespace nb {

struct DispatchGate {
  // A session is signed in and started (bLoginFinish of the shell).
  std::function<bool()> signedIn;
  // The network is believed reachable (bLinkNetwork of the shell).
  std::function<bool()> networkUp;
  // The session's transfer switch (bTransStart of the session).
  std::function<bool()> transStart;
  // The sync centre loaded the libraries at least once (bInit).
  std::function<bool()> librariesLoaded;

  // Every answer from the process-wide objects.
  static DispatchGate standard();

  // Steps 1 and 5.2 of a pass: a missing answer counts as "no", so a gate
  // left half-filled holds the loops instead of letting them run unchecked.
  bool sessionUp() const;
  bool transfersAllowed() const;
};

}  // namespace nb
