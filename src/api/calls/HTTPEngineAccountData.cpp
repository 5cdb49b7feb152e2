// The calls for the account's own data: profile picture and name, favourite
// group names, enterprise templates, shortcuts, server-side settings, hot
// files and favourite files.

#include <fstream>
#include <iterator>

#include "api/calls/HTTPEngineEndpoints.h"
#include "foundation/text/StringHelpers.h"

namespace nb {

namespace {

constexpr std::string_view kBoundary = "0xKhTmLbOuNdArY";

// The shortcut answer is handed on as raw text; no model reads it.
class ShortcutsRet : public RequestRet {
 public:
  void setValueWithData(const std::string& data) override {
    body = data;
    answered = true;
  }
  std::string body;
  bool answered = false;
};

const char* imageType(const std::string& path) {
  const std::string ext = path.substr(path.rfind('.') == std::string::npos ? path.size()
                                                                           : path.rfind('.') + 1);
  if (ext == "gif") return "image/gif";
  if (ext == "jpg" || ext == "jpeg") return "image/jpeg";
  if (ext == "png") return "image/x-png";
  return "";
}

// The multipart body of a picture; nothing when the file cannot be read.
std::optional<std::string> pictureBody(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // A quote or line break in the name would end its header early.
  std::string name;
  for (const char ch : getFilename(path)) {
    if (ch == '"') name += "%22";
    else if (ch == '\r') name += "%0D";
    else if (ch == '\n') name += "%0A";
    else name += ch;
  }
  std::string body = "--" + std::string(kBoundary) + "\r\n";
  body += "Content-Disposition: form-data; name=\"file\"; filename=\"" + name + "\"\r\n";
  body += "Content-Type: " + std::string(imageType(path)) + "\r\n\r\n";
  body += bytes;
  body += "\r\n--" + std::string(kBoundary) + "--\r\n";
  return body;
}

}  // namespace

RequestRet HTTPEngine::setAccountInfo(const std::string& token, const std::string& name,
                                      const std::string& mobile, const std::string& filepath,
                                      int reset) {
  SignKeyList list;
  addValueForString(list, "token", token);
  if (!name.empty()) addValueForString(list, "member_name", name);
  if (!mobile.empty()) addValueForString(list, "mobile", mobile);
  addValueForString(list, "sign", getAuth(list));
  const std::string url = apiUrl("/1/account/set_info") + "?" + getKeyByString(list);
  std::optional<platform::HttpHeaders> headers;
  std::optional<std::string> body;
  if (!filepath.empty()) {
    headers = platform::HttpHeaders{
        {"Content-Type", "multipart/form-data; boundary=" + std::string(kBoundary)}};
    body = pictureBody(filepath);
  }
  RequestRet ret;
  ret.setFtStart(requestClockNow());
  const NBHTTPResponse response =
      NBHTTPRequest(url, "POST", std::move(headers), std::move(body)).connectNetSyncWithResponse();
  ret.setStrRequestUrl(url);
  ret.setNStatusCode(response.statusCode);
  if (response.statusCode != 200) {
    ret.setValueWithErrorData(response.body);
    if (checkError(ret.nErrorCode(), reset)) {
      return setAccountInfo(refreshToken(token), name, mobile, filepath, reset + 1);
    }
  } else if (!checkResponseHeader(response)) {
    ret.setNStatusCode(RequestRet::kNoMarker);
    ret.setValueWithErrorData(response.body);
  }
  return ret;
}

RequestRet HTTPEngine::setFavoriteName(const std::string& token, const std::string& type,
                                       const std::string& name, int reset) {
  return call<RequestRet>(endpoints::api("POST", "/1/file/set_favorite_name"), token,
                          [&](const std::string& t) {
    SignKeyList list;
    addValueForString(list, "token", t);
    addValueForString(list, "favorite_type", type);
    addValueForString(list, "favorite_name", name);
    return list;
  }, reset);
}

RetTemplates HTTPEngine::getEntTemplates(const std::string& token, const std::string& ents,
                                         int reset) {
  return call<RetTemplates>(endpoints::api("POST", "/1/account/get_ent_tpl"), token,
                            [&](const std::string& t) {
    SignKeyList list;
    addValueForString(list, "token", t);
    addValueForString(list, "ent_ids", ents);
    return list;
  }, reset);
}

RetTemplateDownload HTTPEngine::getEntTemplateUrl(const std::string& token, int64_t entid,
                                                  const std::string& filehash, int reset) {
  return call<RetTemplateDownload>(endpoints::api("POST", "/1/account/get_ent_tpl_url"), token,
                                   [&](const std::string& t) {
    SignKeyList list;
    addValueForString(list, "token", t);
    addValueForInteger(list, "ent_id", entid);
    addValueForString(list, "filehash", filehash);
    return list;
  }, reset);
}

std::string HTTPEngine::getShortcuts(const std::string& token, bool& ret, int reset) {
  ret = false;
  ShortcutsRet answer;
  send(answer, endpoints::api("POST", "/2/member/get_shortcuts"), endpoints::tokenOnly(token));
  if (answer.answered) {
    ret = true;
    return answer.body;
  }
  // Unlike the other calls, a 200 without the marker whose body names an
  // expired token repeats too.
  if (checkError(answer.nErrorCode(), reset)) {
    return getShortcuts(refreshToken(token), ret, reset + 1);
  }
  return "";
}

RetSettingList HTTPEngine::getAccountSetting(const std::string& token, int reset) {
  return call<RetSettingList>(endpoints::api("GET", "/1/account/setting"), token, endpoints::tokenOnly, reset);
}

RetHotFileList HTTPEngine::getHotFileList(const std::string& token, int reset) {
  return call<RetHotFileList>(endpoints::api("GET", "/1/member/hot_files"), token, endpoints::tokenOnly, reset);
}

RetFavoritesList HTTPEngine::getFavoritesList(const std::string& token, int reset) {
  return call<RetFavoritesList>(endpoints::api("GET", "/1/favorites/get_all_files"), token, endpoints::tokenOnly,
                                reset);
}

}  // namespace nb
