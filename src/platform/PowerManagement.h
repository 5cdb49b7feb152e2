#pragma once
// The computer's power: whether it runs on mains power, and a block on idle
// sleep while long work runs. The desktop implementation asks UPower and
// logind over the system bus (and GNOME's session manager, whose automatic
// suspend honours only its own inhibitors); tests replace it.
//
// Only idle sleep is blocked: a suspend the user asks for (lid, menu) still
// happens.
//
// Threads: any; each call may wait briefly on the bus.

#include <memory>
#include <string>

namespace nb::platform {

// Held while idle sleep must not happen; releasing it lifts the block.
class IdleSleepBlock {
 public:
  virtual ~IdleSleepBlock() = default;
};

class PowerManagement {
 public:
  virtual ~PowerManagement() = default;
  // True on mains power, and when the power source cannot be told (no
  // UPower, no battery, no system bus).
  virtual bool onMainsPower() = 0;
  // A block on idle sleep named `who` / `why`; null (and a warning in the
  // log) when no inhibitor service took it.
  virtual std::unique_ptr<IdleSleepBlock> blockIdleSleep(const std::string& who,
                                                         const std::string& why) = 0;

  static std::shared_ptr<PowerManagement> desktop();
};

}  // namespace nb::platform
