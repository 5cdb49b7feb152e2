// The file calls of the web API: create, read, list, edit and the change
// feed of a library's entries.

#include "api/calls/HTTPEngineEndpoints.h"
#include "api/session/UserData.h"

namespace nb {

namespace {

HTTPEngine::Endpoint post(std::string_view path, bool statusOnly = false) {
  return endpoints::api("POST", path, statusOnly);
}

SignKeyList normal(const std::string& token, int64_t mountid, const std::string& webpath) {
  SignKeyList list;
  HTTPEngine::addNormalSignKey(list, token, mountid, webpath);
  return list;
}

void addIfNotEmpty(SignKeyList& list, std::string key, const std::string& value) {
  if (!value.empty()) HTTPEngine::addValueForString(list, std::move(key), value);
}

void addDatelines(SignKeyList& list, uint64_t createdateline, uint64_t lastdateline) {
  if (createdateline != 0) HTTPEngine::addValueForULongLong(list, "create_dateline", createdateline);
  if (lastdateline != 0) HTTPEngine::addValueForULongLong(list, "last_dateline", lastdateline);
}

}  // namespace

RetGetDownload HTTPEngine::getUrlByFileHash(const std::string& token, int64_t mountid,
                                            const std::string& filehash,
                                            const std::string& uuidhash, int reset,
                                            const std::string& webpath, int64_t stat) {
  return call<RetGetDownload>(post("/1/file/get_url_by_filehash"), token, [&](const std::string& t) {
    SignKeyList list;
    addValueForString(list, "token", t);
    addValueForInteger(list, "mount_id", mountid);
    addValueForString(list, "filehash", filehash);
    addIfNotEmpty(list, "hash", uuidhash);
    addIfNotEmpty(list, "fullpath", webpath);
    addValueForInteger(list, "stat", stat);
    return list;
  }, reset);
}

RetFileInfo HTTPEngine::getFileInfo(const std::string& token, const std::string& webpath,
                                    int64_t mountid, const std::string& hid, int64_t stat,
                                    int reset) {
  return call<RetFileInfo>(post("/2/file/info"), token, [&](const std::string& t) {
    SignKeyList list = normal(t, mountid, webpath);
    addIfNotEmpty(list, "hid", hid);
    if (stat > 0) addValueForInteger(list, "stat", stat);
    return list;
  }, reset);
}

RetOpen HTTPEngine::getFileOpen(const std::string& token, const std::string& webpath,
                                int64_t mountid, const std::string& hid, int time, int reset) {
  const Endpoint endpoint{.method = "GET", .url = apiUrl("/2/file/open"),
                          .timeout = time > 0 ? time : NBHTTPRequest::kDefaultTimeout};
  return call<RetOpen>(endpoint, token, [&](const std::string& t) {
    SignKeyList list = normal(t, mountid, webpath);
    addIfNotEmpty(list, "hid", hid);
    return list;
  }, reset);
}

RetCreateFile HTTPEngine::setFileCreateFolder(const std::string& token, const std::string& webpath,
                                              int64_t mountid, uint64_t createdateline,
                                              uint64_t lastdateline, int reset) {
  return call<RetCreateFile>(post("/2/file/create_folder"), token, [&](const std::string& t) {
    SignKeyList list = normal(t, mountid, webpath);
    addDatelines(list, createdateline, lastdateline);
    return list;
  }, reset);
}

RetCreateFile HTTPEngine::setFileCreateFile(const std::string& token, const std::string& webpath,
                                            int64_t mountid,
                                            const std::optional<std::string>& filehash,
                                            uint64_t filesize, uint64_t dateline,
                                            uint64_t createdateline, uint64_t lastdateline,
                                            int reset) {
  if (!filehash) {
    RetCreateFile nothingSent;
    nothingSent.setNStatusCode(RequestRet::kNoFileHash);
    return nothingSent;
  }
  // The service's signature of this endpoint covers the parameters before
  // the content hash and size only, so the call signs them itself.
  Endpoint endpoint = post("/2/file/create_file");
  endpoint.isSigned = false;
  return call<RetCreateFile>(endpoint, token, [&](const std::string& t) {
    SignKeyList list = normal(t, mountid, webpath);
    addValueForULongLong(list, "dateline", dateline);
    addDatelines(list, createdateline, lastdateline);
    const std::string sign = getAuth(list);
    addValueForString(list, "filehash", *filehash);
    addValueForULongLong(list, "filesize", filesize);
    addValueForString(list, "sign", sign);
    return list;
  }, reset);
}

RequestRet HTTPEngine::setFileDel(const std::string& token, const std::string& webpath,
                                  int64_t mountid, int reset) {
  return call<RequestRet>(post("/1/file/del", true), token, [&](const std::string& t) {
    return normal(t, mountid, webpath);
  }, reset);
}

RequestRet HTTPEngine::setFileRename(const std::string& token, const std::string& webpath,
                                     int64_t mountid, const std::string& newname, int reset) {
  return call<RequestRet>(post("/1/file/rename", true), token, [&](const std::string& t) {
    SignKeyList list = normal(t, mountid, webpath);
    addValueForString(list, "newname", newname);
    return list;
  }, reset);
}

RequestRet HTTPEngine::setFileMove(const std::string& token, const std::string& webpath,
                                   int64_t mountid, const std::string& newparent, int reset) {
  return call<RequestRet>(post("/1/file/move", true), token, [&](const std::string& t) {
    SignKeyList list = normal(t, mountid, webpath);
    // A move never leaves its library.
    addValueForInteger(list, "target_mount_id", mountid);
    addValueForString(list, "target_fullpath", newparent);
    return list;
  }, reset);
}

RetCompare HTTPEngine::getFileCompare(const std::string& token, const std::string& webpath,
                                      int64_t mountid, uint64_t dateline, bool init, int reset,
                                      uint64_t index) {
  return call<RetCompare>(post("/1/file/compare"), token, [&](const std::string& t) {
    SignKeyList list = normal(t, mountid, webpath);
    addValueForULongLong(list, "dateline", dateline);
    addValueForULongLong(list, "id", index);
    if (init) addValueForString(list, "init", "1");
    return list;
  }, reset);
}

RequestRet HTTPEngine::setFileLock(const std::string& token, const std::string& webpath,
                                   int64_t mountid, const std::string& act, int reset) {
  return call<RequestRet>(post("/1/file/lock", true), token, [&](const std::string& t) {
    SignKeyList list = normal(t, mountid, webpath);
    addValueForString(list, "lock", act);
    return list;
  }, reset);
}

RetRecover HTTPEngine::setFileRecover(const std::string& token, int64_t mountid,
                                      const std::vector<std::string>& webpaths, int reset) {
  std::string fullpaths;
  for (const auto& path : webpaths) {
    if (!fullpaths.empty()) fullpaths += '|';
    fullpaths += path;
  }
  return call<RetRecover>(post("/1/file/recover"), token, [&](const std::string& t) {
    SignKeyList list;
    addValueForString(list, "token", t);
    addValueForInteger(list, "mount_id", mountid);
    addValueForString(list, "fullpaths", fullpaths);
    addValueForString(list, "machine", UserData::shareUserData().devicename());
    return list;
  }, reset);
}

RetFileList HTTPEngine::getFileList(const std::string& token, const std::string& webpath,
                                    int64_t mountid, const std::string& messageid,
                                    const std::string& dialogid, int reset, int64_t start) {
  return call<RetFileList>(post("/1/file/ls"), token, [&](const std::string& t) {
    SignKeyList list = normal(t, mountid, webpath);
    addValueForInteger(list, "start", start);
    addValueForInteger(list, "size", kFileListSize);
    addIfNotEmpty(list, "message_id", messageid);
    addIfNotEmpty(list, "dialog_id", dialogid);
    return list;
  }, reset);
}

RequestRet HTTPEngine::setFileRevert(const std::string& token, const std::string& webpath,
                                     int64_t mountid, const std::string& hid, int reset) {
  return call<RequestRet>(post("/2/file/revert"), token, [&](const std::string& t) {
    SignKeyList list = normal(t, mountid, webpath);
    addValueForString(list, "hid", hid);
    return list;
  }, reset);
}

}  // namespace nb
