#pragma once
// Live transfer progress for the page that follows one direction's transfer
// list: a loop that, once a second, refreshes the engine's speed and counts
// of that direction and sends the page every running transfer, plus the
// single reports of transfers that ended and the "reget" action.
//
// The page is reached through a sink the bridge registers: a function that
// hands the JSON text to the page's callback without waiting (in call
// order). Nothing is sent before the pages are ready (see setPagesReady) or
// while no sink is registered; the figures are refreshed all the same.
//
// Threads: every member is safe from any thread. The sink is called on the
// sender's thread, outside the lock, so it must not block.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "api/models/TransTaskItem.h"
#include "api/models/TransportItem.h"
#include "foundation/json/JsonValue.h"
#include "platform/StoppableThread.h"
#include "sync/operations/Network.h"

namespace nb::transfer {

class Network;

class CallbackThread {
 public:
  using Sink = std::function<void(const std::string& json)>;

  // `which` is Download or Upload; `network` outlives this object.
  CallbackThread(TransDirection which, Network& network);
  // Ends the loop and waits for it.
  ~CallbackThread();
  CallbackThread(const CallbackThread&) = delete;
  CallbackThread& operator=(const CallbackThread&) = delete;

  // Whether the pages may be sent progress (the main page finished loading).
  // Process-wide; until set every send is dropped with an error in the log.
  static void setPagesReady(std::function<bool()> ready);

  // The page's sink; an empty function clears it. Replaces an earlier one.
  void SetCallbackStatus(Sink sink);
  bool hasSink() const;

  // Starts the once-a-second loop; a running loop is left alone.
  void start();
  // Ends the loop (waits for it); start() may run it again.
  void stop();
  bool isRunning() const;

  // One pass of the loop: the figures of the direction, then the report of
  // every running transfer.
  void pass();
  void refreshFigures();

  void SendCallbackInfos();
  void SendCallbackInfoByTransTask(const TransTaskItem& task);
  // Finished records only come this way (downloads).
  void SendCallbackInfoByTransport(const TransportItem& item);
  void SendCallbackAction(const std::string& action);

  // The entry of a running transfer, and of a finished record.
  static JsonValue entry(const TransTaskItem& task);
  static JsonValue entry(const TransportItem& item);

 private:
  // The registered sink when sending is allowed; empty otherwise.
  Sink readySink() const;
  // The four figures of both directions around `list`.
  JsonValue progress(JsonValue list);
  void send(const Sink& sink, const JsonValue& object);

  const TransDirection which_;
  Network& network_;

  mutable std::mutex mutex_;
  Sink sink_;                                          // guarded by mutex_
  std::unique_ptr<platform::StoppableThread> thread_;  // guarded by mutex_
};

}  // namespace nb::transfer
