// The file endpoints of the fake service, over the drive's library trees.
// Each checks the names and order of its parameters (optional ones may be
// left out, nothing else may be added) before it acts.

#include <charconv>
#include <functional>

#include "support/FakeDrive.h"
#include "support/FakeStorageServer.h"

namespace nb::test {

namespace {

constexpr int kBadOrder = 40006;

struct Param {
  const char* name;
  bool optional = false;
};
using Order = std::vector<Param>;

const Order kNormal = {{"token"}, {"mount_id"}, {"fullpath"}, {"machine"}};

Order normalThen(std::initializer_list<Param> rest) {
  Order order = kNormal;
  order.insert(order.end(), rest);
  order.push_back({"sign"});
  return order;
}

bool inOrder(const FakeCall& call, const Order& order) {
  const auto names = call.paramNames();
  std::size_t at = 0;
  for (const auto& param : order) {
    if (at < names.size() && names[at] == param.name) {
      ++at;
    } else if (!param.optional) {
      return false;
    }
  }
  return at == names.size();
}

int64_t integer(const std::optional<std::string>& text) {
  int64_t value = 0;
  if (text) std::from_chars(text->data(), text->data() + text->size(), value);
  return value;
}

FakeReply treeError(FakeTreeError error) {
  const int code = FakeLibraryTree::errorCode(error);
  switch (error) {
    case FakeTreeError::NotFound:
    case FakeTreeError::NoParent: return FakeReply::error(404, code, "not found");
    case FakeTreeError::Exists: return FakeReply::error(409, code, "exists");
    case FakeTreeError::Locked: return FakeReply::error(403, code, "locked");
    default: return FakeReply::error(400, code, "bad name");
  }
}

FakeReply done(FakeTreeError error) {
  return error == FakeTreeError::None ? FakeReply::json(nlohmann::json::object()) : treeError(error);
}

using TreeAction =
    std::function<FakeReply(FakeLibraryTree&, const FakeMember&, const std::string& path)>;

// Checks the order, finds the library and the caller, then acts.
FakeReply onTree(FakeDrive& drive, const FakeCall& call, const Order& order,
                 const TreeAction& action) {
  if (!inOrder(call, order)) return FakeReply::error(400, kBadOrder, "parameters out of order");
  FakeLibraryTree* tree = drive.tree(integer(call.param("mount_id")));
  if (tree == nullptr) return FakeReply::error(404, FakeDrive::kNoLibrary, "no such library");
  const auto user = drive.userFor(call.param("token").value_or(""));
  return action(*tree, user ? user->member() : FakeMember{},
                FakeLibraryTree::normalize(call.param("fullpath").value_or("")));
}

nlohmann::json downloadUrls(FakeDrive& drive, const std::string& filehash) {
  nlohmann::json urls = nlohmann::json::array();
  for (const auto& url : drive.downloadUrls(filehash)) urls.push_back(url);
  return urls;
}

nlohmann::json entryList(const std::vector<FakeEntry>& entries) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& entry : entries) list.push_back(entry.toJson(1));
  return list;
}

bool isContentHash(const std::string& text) {
  return text.size() == 40 &&
         text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

FakeReply createFile(FakeDrive& drive, const FakeCall& call, FakeLibraryTree& tree,
                     const FakeMember& by, const std::string& path) {
  const std::string filehash = call.param("filehash").value_or("");
  const std::string sizeText = call.param("filesize").value_or("");
  uint64_t filesize = 0;
  const auto [end, error] = std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), filesize);
  if (!isContentHash(filehash) || error != std::errc() || end != sizeText.data() + sizeText.size()) {
    return FakeReply::error(400, FakeDrive::kBadParameter, "bad filehash or filesize");
  }
  if (path.empty()) return treeError(FakeTreeError::BadName);
  if (const auto existing = tree.find(path); existing && existing->dir) {
    return treeError(FakeTreeError::Exists);
  }
  const auto slash = path.rfind('/');
  if (!tree.list(slash == std::string::npos ? "" : path.substr(0, slash))) {
    return treeError(FakeTreeError::NoParent);
  }
  const auto createDateline = static_cast<uint64_t>(integer(call.param("create_dateline")));
  const auto lastDateline = static_cast<uint64_t>(integer(call.param("last_dateline")));
  nlohmann::json answer = {{"filehash", filehash}, {"filesize", filesize},
                           {"cache_uploads", nlohmann::json::array()}};
  if (drive.hasContent(filehash)) {
    if (const auto put = tree.putFile(path, filehash, filesize, by, createDateline, lastDateline);
        put != FakeTreeError::None) {
      return treeError(put);
    }
    const FakeEntry entry = tree.find(path).value();
    answer.update({{"state", 1}, {"hash", entry.hash}, {"storage_point", ""},
                   {"last_dateline", entry.lastDateline}, {"uploads", nlohmann::json::array()}});
    return FakeReply::json(answer);
  }
  const auto servers = drive.storageServers();
  const std::string hash = tree.reserveHash(path);
  drive.addPending(FakePendingUpload{hash, tree.mountId(), path, filehash, filesize,
                                     createDateline, lastDateline, by});
  nlohmann::json uploads = nlohmann::json::array();
  nlohmann::json cacheUploads = nlohmann::json::array();
  for (const auto* server : servers) {
    (server->isCache() ? cacheUploads : uploads).push_back(server->uploadRecord());
  }
  answer.update({{"state", 0}, {"hash", hash},
                 {"storage_point", servers.empty() ? "" : servers.front()->storagePoint()},
                 {"last_dateline", lastDateline}, {"uploads", uploads},
                 {"cache_uploads", cacheUploads}});
  return FakeReply::json(answer);
}

void installCreateAndRead(FakeDrive& drive) {
  FakeService& api = drive.api();
  api.on("POST", "/2/file/create_folder", [&drive](const FakeCall& call) {
    return onTree(drive, call, normalThen({{"create_dateline", true}, {"last_dateline", true}}),
                  [&call](FakeLibraryTree& tree, const FakeMember& by, const std::string& path) {
      const auto error = tree.addFolder(path, by, integer(call.param("create_dateline")),
                                        integer(call.param("last_dateline")));
      if (error != FakeTreeError::None) return treeError(error);
      const FakeEntry entry = tree.find(path).value();
      return FakeReply::json({{"state", 1}, {"hash", entry.hash}, {"filehash", ""},
                              {"storage_point", ""}, {"filesize", 0},
                              {"last_dateline", entry.lastDateline},
                              {"uploads", nlohmann::json::array()},
                              {"cache_uploads", nlohmann::json::array()}});
    });
  });
  // The client signs before it appends filehash and filesize.
  api.on("POST", "/2/file/create_file", [&drive](const FakeCall& call) {
    return onTree(drive, call,
                  normalThen({{"dateline"}, {"create_dateline", true}, {"last_dateline", true},
                              {"filehash"}, {"filesize"}}),
                  [&](FakeLibraryTree& tree, const FakeMember& by, const std::string& path) {
                    return createFile(drive, call, tree, by, path);
                  });
  }, FakeEndpointRules{.unsignedParams = {"filehash", "filesize"}});
  api.on("POST", "/2/file/info", [&drive](const FakeCall& call) {
    return onTree(drive, call, normalThen({{"hid", true}, {"stat", true}}),
                  [](FakeLibraryTree& tree, const FakeMember&, const std::string& path) {
      const auto entry = tree.find(path);
      return entry ? FakeReply::json(entry->toJson(1)) : treeError(FakeTreeError::NotFound);
    });
  });
  api.on("GET", "/2/file/open", [&drive](const FakeCall& call) {
    return onTree(drive, call, normalThen({{"hid", true}}),
                  [&drive](FakeLibraryTree& tree, const FakeMember&, const std::string& path) {
      const auto entry = tree.find(path);
      if (!entry || entry->dir) return treeError(FakeTreeError::NotFound);
      return FakeReply::json({{"filehash", entry->filehash}, {"hash", entry->hash},
                              {"filesize", entry->filesize}, {"dateline", entry->lastDateline},
                              {"lock", entry->lock}, {"lock_member_id", entry->lockMemberId},
                              {"uris", downloadUrls(drive, entry->filehash)}});
    });
  });
  api.on("POST", "/1/file/get_url_by_filehash", [&drive](const FakeCall& call) {
    const Order order = {{"token"}, {"mount_id"}, {"filehash"}, {"hash", true},
                         {"fullpath", true}, {"stat"}, {"sign"}};
    return onTree(drive, call, order,
                  [&](FakeLibraryTree&, const FakeMember&, const std::string&) {
      const auto bytes = drive.content(call.param("filehash").value_or(""));
      if (!bytes) return treeError(FakeTreeError::NotFound);
      return FakeReply::json({{"filesize", bytes->size()},
                              {"urls", downloadUrls(drive, call.param("filehash").value_or(""))}});
    });
  });
}

void installEdits(FakeDrive& drive) {
  FakeService& api = drive.api();
  api.on("POST", "/1/file/del", [&drive](const FakeCall& call) {
    return onTree(drive, call, normalThen({}),
                  [](FakeLibraryTree& tree, const FakeMember& by, const std::string& path) {
      return done(tree.remove(path, by));
    });
  });
  api.on("POST", "/1/file/rename", [&drive](const FakeCall& call) {
    return onTree(drive, call, normalThen({{"newname"}}),
                  [&call](FakeLibraryTree& tree, const FakeMember& by, const std::string& path) {
      return done(tree.rename(path, call.param("newname").value_or(""), by));
    });
  });
  api.on("POST", "/1/file/move", [&drive](const FakeCall& call) {
    return onTree(drive, call, normalThen({{"target_mount_id"}, {"target_fullpath"}}),
                  [&call](FakeLibraryTree& tree, const FakeMember& by, const std::string& path) {
      if (call.param("target_mount_id") != call.param("mount_id")) {
        return FakeReply::error(400, FakeDrive::kBadParameter, "moves stay in their library");
      }
      return done(tree.move(path, call.param("target_fullpath").value_or(""), by));
    });
  });
  api.on("POST", "/1/file/lock", [&drive](const FakeCall& call) {
    return onTree(drive, call, normalThen({{"lock"}}),
                  [&call](FakeLibraryTree& tree, const FakeMember& by, const std::string& path) {
      const std::string act = call.param("lock").value_or("");
      if (act != "lock" && act != "unlock") {
        return FakeReply::error(400, FakeDrive::kBadParameter, "lock or unlock");
      }
      return done(tree.lock(path, act == "lock", by));
    });
  });
  api.on("POST", "/1/file/recover", [&drive](const FakeCall& call) {
    const Order order = {{"token"}, {"mount_id"}, {"fullpaths"}, {"machine"}, {"sign"}};
    return onTree(drive, call, order,
                  [&call](FakeLibraryTree& tree, const FakeMember& by, const std::string&) {
      std::vector<std::string> paths;
      std::string all = call.param("fullpaths").value_or("");
      for (std::size_t start = 0, bar = 0; bar != std::string::npos; start = bar + 1) {
        bar = all.find('|', start);
        paths.push_back(all.substr(start, bar == std::string::npos ? bar : bar - start));
      }
      return FakeReply::json({{"list", entryList(tree.recover(paths, by))}});
    });
  });
  api.on("POST", "/2/file/revert", [&drive](const FakeCall& call) {
    return onTree(drive, call, normalThen({{"hid"}}),
                  [&call](FakeLibraryTree& tree, const FakeMember& by, const std::string& path) {
      const auto error = tree.revert(path, call.param("hid").value_or(""), by);
      if (error != FakeTreeError::None) return treeError(error);
      return FakeReply::json(tree.find(path).value().toJson(1));
    });
  });
}

void installListings(FakeDrive& drive) {
  FakeService& api = drive.api();
  api.on("POST", "/1/file/ls", [&drive](const FakeCall& call) {
    const Order order = normalThen({{"start"}, {"size"}, {"message_id", true}, {"dialog_id", true}});
    return onTree(drive, call, order,
                  [&call](FakeLibraryTree& tree, const FakeMember&, const std::string& path) {
      auto children = tree.list(path);
      if (!children) return treeError(FakeTreeError::NotFound);
      const auto start = static_cast<std::size_t>(integer(call.param("start")));
      const auto size = static_cast<std::size_t>(integer(call.param("size")));
      children->erase(children->begin(), children->begin() + std::min(start, children->size()));
      if (children->size() > size) children->resize(size);
      return FakeReply::json({{"list", entryList(*children)}});
    });
  });
  api.on("POST", "/1/file/compare", [&drive](const FakeCall& call) {
    const Order order = normalThen({{"dateline"}, {"id"}, {"init", true}});
    return onTree(drive, call, order,
                  [&call](FakeLibraryTree& tree, const FakeMember&, const std::string& path) {
      const auto page = tree.feed(path, integer(call.param("dateline")), integer(call.param("id")));
      if (!page) return treeError(FakeTreeError::NotFound);
      nlohmann::json list = nlohmann::json::array();
      for (const auto& change : page->changes) {
        list.push_back(change.entry.toJson(change.cmd, change.fullpathTo));
      }
      return FakeReply::json({{"version", 1}, {"dateline", page->dateline}, {"id", page->id},
                              {"sc", "sc-" + std::to_string(page->id)}, {"list", list}});
    });
  });
}

}  // namespace

void installFakeFileEndpoints(FakeDrive& drive) {
  installCreateAndRead(drive);
  installEdits(drive);
  installListings(drive);
}

}  // namespace nb::test
