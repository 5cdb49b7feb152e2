#pragma once
// A test fixture that points HOME and the XDG folders at a fresh temporary
// folder for the length of one test, and removes it afterwards.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace nb::test {

class TempHome : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The temporary root; HOME is root()/"home".
  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path home() const { return root_ / "home"; }

 private:
  std::filesystem::path root_;
  std::vector<std::pair<std::string, std::string>> saved_;
};

// A fresh empty folder under the system's temporary folder.
std::filesystem::path makeTempDir(const std::string& stem = "nbtest");

}  // namespace nb::test
