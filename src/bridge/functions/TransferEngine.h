#pragma once
// The transfer engine the pages talk to, and the page sinks of its progress
// reports.

#include <memory>
#include <optional>
#include <string>

#include "transfer/engine/Network.h"

namespace nb::bridge {

class NBWebViewDelegate;

// The engine registered as the sync engine's transfer engine; null (and an
// error in the log) when none is.
std::shared_ptr<transfer::Network> transferEngine();

// A progress sink that hands each report to the callback `callbackId` of
// the bridge's page, on the main thread in send order; reports for a window
// that closed or a page that was reloaded go nowhere.
transfer::CallbackThread::Sink pageProgressSink(std::weak_ptr<NBWebViewDelegate> bridge,
                                                std::string callbackId);

// Lets the progress reports through once the main page finished loading.
void registerPagesReadyForProgress();

// A browser window whose page followed the transfers closes: both sinks go.
void clearProgressSinks();

}  // namespace nb::bridge
