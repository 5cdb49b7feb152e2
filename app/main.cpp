#include <string>
#include <vector>

#include "launch/Launcher.h"
#include "platform/MemoryArenas.h"

int main(int argc, char** argv) {
  nb::platform::limitMemoryArenas();
  nb::launch::LaunchOptions options;
  options.args.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  options.version = NB_VERSION;
  return nb::launch::run(options);
}
