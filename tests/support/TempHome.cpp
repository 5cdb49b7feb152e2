#include "support/TempHome.h"

#include <cstdlib>


namespace nb::test {

namespace fs = std::filesystem;

fs::path makeTempDir(const std::string& stem) {
  std::string templ = (fs::temp_directory_path() / (stem + "-XXXXXX")).string();
  if (mkdtemp(templ.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed for " << templ;
    return {};
  }
  return templ;
}

void TempHome::SetUp() {
  root_ = makeTempDir("nbhome");
  const std::pair<const char*, fs::path> vars[] = {
      {"HOME", root_ / "home"},
      {"XDG_CONFIG_HOME", root_ / "home/.config"},
      {"XDG_DATA_HOME", root_ / "home/.local/share"},
      {"XDG_STATE_HOME", root_ / "home/.local/state"},
      {"XDG_CACHE_HOME", root_ / "home/.cache"},
  };
  for (const auto& [name, path] : vars) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old != nullptr ? old : std::string("\x01unset"));
    fs::create_directories(path);
    setenv(name, path.c_str(), 1);
  }
}

void TempHome::TearDown() {
  for (const auto& [name, value] : saved_) {
    if (value == "\x01unset") {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
  saved_.clear();
  std::error_code ec;
  fs::remove_all(root_, ec);
}

}  // namespace nb::test
