// The account and library endpoints of the fake service, answered from the
// drive's users, enterprises, libraries and account data.

#include <set>
#include <sstream>

#include "support/FakeDrive.h"
#include "support/FakeStorageServer.h"

namespace nb::test {

namespace {

// The ids of a "3,7" text; nothing when the parameter is absent.
std::optional<std::set<int64_t>> idSet(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  std::set<int64_t> ids;
  std::stringstream in(*text);
  std::string id;
  while (std::getline(in, id, ',')) {
    try {
      ids.insert(std::stoll(id));
    } catch (const std::exception&) {
      // Not a number: matches nothing.
    }
  }
  return ids;
}

nlohmann::json libraryJson(const FakeLibrary& library) {
  return {{"mount_id", library.mountId}, {"org_id", library.orgId},
          {"org_name", library.orgName}, {"member_type", library.memberType},
          {"org_type", library.orgType}, {"size_org_use", library.sizeUse},
          {"size_org_total", library.sizeTotal}, {"ent_id", library.entId},
          {"property", library.property}, {"compare", 1},
          {"add_dateline", library.addDateline}};
}

FakeReply accountInfo(FakeDrive& drive, const FakeCall& call) {
  const auto user = drive.userFor(call.param("token").value_or(""));
  if (!user) return FakeReply::error(404, 40401, "no such user");
  return FakeReply::json({{"member_id", user->memberId}, {"member_name", user->name},
                          {"member_email", user->email}, {"member_phone", user->phone},
                          {"avatar", user->avatar},
                          {"settings", {{"disable_new_device", user->disableNewDevice}}},
                          {"favorites", user->favorites}, {"member_account", user->account},
                          {"source", user->source}});
}

FakeReply mounts(FakeDrive& drive, const FakeCall& call) {
  const auto orgIds = idSet(call.param("org_id"));
  const auto mountIds = idSet(call.param("mount_id"));
  nlohmann::json list = nlohmann::json::array();
  for (const auto& library : drive.libraries()) {
    if (orgIds && !orgIds->contains(library.orgId)) continue;
    if (mountIds && !mountIds->contains(library.mountId)) continue;
    list.push_back(libraryJson(library));
  }
  return FakeReply::json({{"list", list}});
}

FakeReply listOf(nlohmann::json list) { return FakeReply::json({{"list", std::move(list)}}); }

void installAccount(FakeDrive& drive) {
  FakeService& api = drive.api();
  api.on("GET", "/1/account/info", [&drive](const FakeCall& call) { return accountInfo(drive, call); });
  api.on("POST", "/1/account/set_device", [&drive](const FakeCall& call) {
    drive.recordDevice(call.param("device").value_or(""));
    return FakeReply::json({{"result", 1}});
  });
  api.on("POST", "/1/account/set_info", [](const FakeCall&) {
    return FakeReply::json({{"result", 1}});
  });
  api.on("POST", "/1/account/servers", [&drive](const FakeCall&) {
    nlohmann::json servers = nlohmann::json::array();
    for (const auto* server : drive.storageServers()) servers.push_back(server->uploadRecord());
    return FakeReply::json(servers);
  });
  api.on("POST", "/2/member/get_shortcuts", [&drive](const FakeCall&) {
    return FakeReply::text(drive.shortcuts());
  });
  api.on("GET", "/1/account/setting", [&drive](const FakeCall&) { return listOf(drive.settings()); });
  api.on("GET", "/1/member/hot_files", [&drive](const FakeCall&) { return listOf(drive.hotFiles()); });
  api.on("GET", "/1/favorites/get_all_files", [&drive](const FakeCall&) {
    return listOf(drive.favoriteFiles());
  });
  api.on("POST", "/1/file/set_favorite_name", [&drive](const FakeCall& call) {
    const std::string type = call.param("favorite_type").value_or("");
    const std::string name = call.param("favorite_name").value_or("");
    drive.recordFavoriteName(type, name);
    return FakeReply::json({{"favorite_type", type}, {"favorite_name", name}});
  });
}

void installLibraries(FakeDrive& drive) {
  FakeService& api = drive.api();
  api.on("POST", "/1/account/mount", [&drive](const FakeCall& call) { return mounts(drive, call); });
  api.on("POST", "/1/account/ent", [&drive](const FakeCall&) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& ent : drive.enterprises()) {
      list.push_back({{"ent_id", ent.entId}, {"ent_name", ent.name}});
    }
    return listOf(list);
  });
  api.on("POST", "/1/account/get_ent_tpl", [&drive](const FakeCall& call) {
    return FakeReply::json(drive.templates(call.param("ent_ids").value_or("")));
  });
  api.on("POST", "/1/account/get_ent_tpl_url", [&drive](const FakeCall& call) {
    const std::string filehash = call.param("filehash").value_or("");
    const auto servers = drive.storageServers();
    if (!drive.hasContent(filehash) || servers.empty()) {
      return FakeReply::error(404, 40402, "no such template");
    }
    return FakeReply::json({{"url", servers.front()->downloadUrl(filehash)}});
  });
}

}  // namespace

void installFakeAccountEndpoints(FakeDrive& drive) {
  installAccount(drive);
  installLibraries(drive);
}

}  // namespace nb::test
