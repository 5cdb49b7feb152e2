#pragma once
// Plays short notification sounds from files: one sound at a time per
// player, the previous one cut off when the next starts. On the desktop's
// event-sound service (libcanberra), so the user's sound settings apply.

#include <filesystem>
#include <memory>

namespace nb::platform {

class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;

  // Stops what this player played before, then plays the file once at half
  // volume. Answers false when the sound could not be started. Safe from any
  // thread; returns without waiting for the sound to end.
  virtual bool play(const std::filesystem::path& file) = 0;

  // The desktop's player; a player that plays nothing (and says so in the
  // log once) when the sound service is unavailable.
  static std::shared_ptr<SoundPlayer> makeDesktop();
};

}  // namespace nb::platform
