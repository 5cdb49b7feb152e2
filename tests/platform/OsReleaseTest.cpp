// Reading KEY=value files: the os-release text and machine-info share it.

#include <gtest/gtest.h>

#include <string>

#include "platform/OsRelease.h"

namespace nb::platform {
namespace {

struct FieldCase {
  const char* text;
  const char* key;
  const char* value;
};

class KeyValueField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(KeyValueField, ReadsTheFirstLineNamingTheKey) {
  EXPECT_EQ(keyValueField(GetParam().text, GetParam().key), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, KeyValueField,
    ::testing::Values(FieldCase{"NAME=\"Debian\"\nVERSION_ID=\"12\"\n", "VERSION_ID", "12"},
                      FieldCase{"PRETTY_NAME='Arch Linux'\n", "PRETTY_NAME", "Arch Linux"},
                      FieldCase{"VERSION_ID=10.8.1", "VERSION_ID", "10.8.1"},
                      // Only a matching pair of quotes is taken off.
                      FieldCase{"NAME=\"Debian\n", "NAME", "\"Debian"},
                      FieldCase{"NAME=\"Debian'\n", "NAME", "\"Debian'"},
                      // A longer key with the same start is another key.
                      FieldCase{"PRETTY_NAME=Debian\nNAME=Deb\n", "NAME", "Deb"},
                      FieldCase{"NAMES=x\n", "NAME", ""},
                      FieldCase{"NAME=first\nNAME=second\n", "NAME", "first"},
                      FieldCase{"VERSION_ID=\n", "VERSION_ID", ""},
                      FieldCase{"", "NAME", ""}));

TEST(KeyValueFile, AMissingFileReadsAsNothing) {
  EXPECT_EQ(readKeyValueFile("/nonexistent/machine-info"), "");
}

}  // namespace
}  // namespace nb::platform
