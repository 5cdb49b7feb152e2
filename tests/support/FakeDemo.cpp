#include "support/FakeDemo.h"

#include "support/FakeStorageServer.h"

namespace nb::test {

FakeDemo::FakeDemo(FakeService::Options options)
    : api_(options), auth_(api_), drive_(api_), storage_(drive_.addStorageServer()) {
  auth_.addAccount(kAccount, kPassword);
  // Tokens the sign-in hands out belong to the first user, this one.
  drive_.addUser({.memberId = kMemberId,
                  .name = "Demo User",
                  .email = "demo@example.invalid",
                  .account = kAccount});
  drive_.addLibrary({.mountId = kMountId, .orgId = 1, .orgName = "Demo library"});
  drive_.putFile(kMountId, "Welcome.txt", "Welcome to the demo library.\n");
  drive_.putFile(kMountId, "Documents/notes.md", "# Notes\n\nEdit me and watch the change feed.\n");
  drive_.putFile(kMountId, "Pictures/empty.txt", "");
  drive_.setSettings(nlohmann::json::array(
      {{{"setting", "delay_sync_file"}, {"value", 1}, {"property", R"({"psd":60})"}}}));
}

}  // namespace nb::test
