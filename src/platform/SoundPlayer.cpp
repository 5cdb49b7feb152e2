#include "platform/SoundPlayer.h"

#include <canberra.h>

#include <mutex>

#include "platform/Log.h"

namespace nb::platform {

namespace {

// Half the amplitude, in the decibels the sound service takes.
constexpr const char* kHalfVolumeDb = "-6.02";
// Our own id for the one sound a player has going.
constexpr uint32_t kSoundId = 1;

struct ContextDeleter {
  void operator()(ca_context* context) const { ca_context_destroy(context); }
};

class DesktopSoundPlayer final : public SoundPlayer {
 public:
  DesktopSoundPlayer() {
    ca_context* context = nullptr;
    const int rc = ca_context_create(&context);
    if (rc != CA_SUCCESS) {
      NBLOG_WARN("no sound service: {}", ca_strerror(rc));
      return;
    }
    context_.reset(context);
  }

  bool play(const std::filesystem::path& file) override {
    std::lock_guard lock(mutex_);
    if (!context_) return false;
    ca_context_cancel(context_.get(), kSoundId);
    const int rc = ca_context_play(context_.get(), kSoundId, CA_PROP_MEDIA_FILENAME,
                                   file.c_str(), CA_PROP_CANBERRA_VOLUME, kHalfVolumeDb,
                                   CA_PROP_CANBERRA_CACHE_CONTROL, "never", nullptr);
    if (rc != CA_SUCCESS) {
      NBLOG_WARN("sound {} not played: {}", file.string(), ca_strerror(rc));
      return false;
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::unique_ptr<ca_context, ContextDeleter> context_;  // guarded by mutex_
};

}  // namespace

std::shared_ptr<SoundPlayer> SoundPlayer::makeDesktop() {
  return std::make_shared<DesktopSoundPlayer>();
}

}  // namespace nb::platform
