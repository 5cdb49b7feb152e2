#pragma once
// The web API client's shared call pattern. Every endpoint operation builds
// its ordered parameter list, signs it, sends one request and reads the
// answer into a RequestRet (or a model derived from it); an expired token
// (40101 or 40102 on a non-200 answer) refreshes the token and repeats the
// call, at most three times. Stateless apart from the token-refresh hook;
// every operation runs on the caller's thread, from any thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api/calls/NBHTTPRequest.h"
#include "api/models/RequestRet.h"
#include "api/models/RetCompare.h"
#include "api/models/RetCreateFile.h"
#include "api/models/RetEntGrantItem.h"
#include "api/models/RetEnts.h"
#include "api/models/RetFavoritesList.h"
#include "api/models/RetFileInfo.h"
#include "api/models/RetFileList.h"
#include "api/models/RetGetDownload.h"
#include "api/models/RetGetServer.h"
#include "api/models/RetHotFileList.h"
#include "api/models/RetMounts.h"
#include "api/models/RetOpen.h"
#include "api/models/RetPassport.h"
#include "api/models/RetRecover.h"
#include "api/models/RetSettingList.h"
#include "api/models/RetTemplateDownload.h"
#include "api/models/RetTemplates.h"
#include "api/models/RetToken.h"
#include "api/models/RetUploadCheckSum.h"
#include "api/models/RetUploadInit.h"
#include "api/models/RetUploadReq.h"
#include "api/models/RetUserInfo.h"
#include "api/calls/SignKey.h"

namespace nb {

class HTTPEngine {
 public:
  HTTPEngine() = delete;

  // --- Sign-in, token and configuration calls -------------------------------
  // (HTTPEngineSignIn.cpp, HTTPEngineToken.cpp)
  // None of these repeats after a token refresh. A token answer that names
  // an "api_host" moves every later call to that host.

  // The update host's answer for this client version, or nothing when it
  // did not answer 200 with a body. The scheme follows the user's own HTTPS
  // setting only.
  static std::optional<std::string> checkUpdates(const std::string& version);
  // The server host of an account or of a deployment source, asked of the
  // passport at `passportUrl` (with scheme).
  static RetPassport passportAccount(const std::string& passportUrl, const std::string& account);
  static RetPassport passportSource(const std::string& passportUrl, const std::string& source);
  // A one-time sign-in key for `account` from the credentials another local
  // program handed over; `hostUrl` has its scheme.
  static RetEntGrantItem getEntGrant(const std::string& hostUrl, const std::string& clientid,
                                     const std::string& secret, const std::string& account);
  // The deployment's configuration answer, put into `json` on a 200 with the
  // marker (then true); `json` is untouched otherwise.
  static bool getConfigSource(const std::string& source, const std::string& clientid,
                              std::string& json);
  // Password sign-in: HTTPS twice, then plain HTTP once, but only when
  // HTTPS is not required and both HTTPS tries found no server taking the
  // connection (a certificate or handshake failure is final). Stops at a
  // 200 or at an OAuth refusal.
  static RetToken loginMore(const std::string& username, const std::string& password,
                            const std::string& info, const std::string& device);
  // One password sign-in at `baseUrl` (with scheme).
  static RetToken login(const std::string& username, const std::string& password,
                        const std::string& info, const std::string& device,
                        const std::string& baseUrl);
  // Sign-in with a one-time key (sent as "nbkey").
  static RetToken checkLogin(const std::string& nbkey, const std::string& info,
                             const std::string& device);
  // A fresh token pair for a refresh token; a refusal is final for this call.
  static RetToken refreshToken(const std::string& refreshToken, const std::string& info,
                               const std::string& device);
  // Tells the service the session took up its refresh token; status only.
  static RequestRet activateRefresh(const std::string& token, const std::string& refreshtoken);
  // `length` random letters a-z; "" for a length below 1.
  static std::string randStr(int length);

  // --- Parameter lists ------------------------------------------------------
  static void addValueForString(SignKeyList& list, std::string key, std::string value);
  static void addValueForInteger(SignKeyList& list, std::string key, int64_t value);
  static void addValueForULongLong(SignKeyList& list, std::string key, uint64_t value);
  // Appends token, mount_id, fullpath and machine (the session's device name).
  static void addNormalSignKey(SignKeyList& list, const std::string& token, int64_t mountid,
                               const std::string& path);

  // --- Signature and form ---------------------------------------------------
  // The parameters sorted by name (byte order, so "Name" before "name"),
  // their raw values joined with "\n", HMAC-SHA1 with the service key,
  // Base64, then URL-encoded. The list keeps its own order.
  static std::string getAuth(const SignKeyList& list);
  // The same keyed with `secret`, Base64 only (the enterprise-grant ticket).
  static std::string getAuth(const SignKeyList& list, const std::string& secret);
  // "name=urlEncoded(value)" joined by "&", in list order; names unencoded.
  static std::string getKeyByString(const SignKeyList& list);
  // The form's UTF-8 bytes, for POST bodies.
  static std::string getKeyByData(const SignKeyList& list);

  // --- Answers --------------------------------------------------------------
  // True when the answer carries "X-SERVER" (any case of the name) with the
  // value exactly "NUBREN".
  static bool checkResponseHeader(const NBHTTPResponse& response);
  // True when a call that met `errorCode` on a non-200 answer is to be
  // repeated after `reset` repeats: 40101..40102 and fewer than three so far.
  static bool checkError(int64_t errorCode, int reset);

  // --- The generic call -----------------------------------------------------
  struct Endpoint {
    std::string method = "POST";  // "GET" puts the form in the query
    std::string url;              // absolute, without query
    int timeout = NBHTTPRequest::kDefaultTimeout;  // seconds
    bool isSigned = true;     // append "sign" over the whole list
    bool checkMarker = true;  // false only where the endpoint checks none
    bool statusOnly = false;  // success reads no body
    bool repeats = true;      // repeat on 40101/40102 with a fresh token
  };
  // Builds the call's parameters (without "sign") for a token.
  using ParamsForToken = std::function<SignKeyList(const std::string& token)>;

  // Runs the pattern into a fresh Ret (RequestRet or a model derived from
  // it) and returns it; a repeat's result replaces the first one.
  template <class Ret>
  static Ret call(const Endpoint& endpoint, const std::string& token, const ParamsForToken& params,
                  int reset = 0) {
    Ret ret;
    const bool failedStatus = send(ret, endpoint, params(token));
    if (!failedStatus || !endpoint.repeats || !checkError(ret.nErrorCode(), reset)) return ret;
    return call<Ret>(endpoint, refreshToken(token), params, reset + 1);
  }

  // One request into `ret`, without the repeat. Answers true when the server
  // answered with a status other than 200 (or not at all).
  static bool send(RequestRet& ret, const Endpoint& endpoint, SignKeyList params);

  // "http(s)://" + the API host + `path`, the scheme by the HTTPS choice.
  static std::string apiUrl(std::string_view path);

  // --- Token refresh --------------------------------------------------------
  // Answers the access token that is current after a refresh (the old one
  // when the refresh failed). The session installs its refresh here; without
  // one the token comes back unchanged and an error is logged. Must be
  // thread-safe.
  using TokenRefresher = std::function<std::string(const std::string& expiredToken)>;
  static void setTokenRefresher(TokenRefresher refresher);
  static std::string refreshToken(const std::string& expiredToken);

  // --- File calls -------------------------------------------------------------
  // Each signs, checks the marker and repeats on an expired token; `reset`
  // is the repeat count (callers pass 0). Paths are library paths ("a/b").
  // Optional parameters are left out when empty (texts) or 0 (datelines).
  static RetGetDownload getUrlByFileHash(const std::string& token, int64_t mountid,
                                         const std::string& filehash, const std::string& uuidhash,
                                         int reset, const std::string& webpath, int64_t stat);
  // "stat" goes out only above 0.
  static RetFileInfo getFileInfo(const std::string& token, const std::string& webpath,
                                 int64_t mountid, const std::string& hid, int64_t stat,
                                 int reset = 0);
  // `time` is the time-out in seconds; 0 means the default 60 s.
  static RetOpen getFileOpen(const std::string& token, const std::string& webpath, int64_t mountid,
                             const std::string& hid, int time, int reset = 0);
  static RetCreateFile setFileCreateFolder(const std::string& token, const std::string& webpath,
                                           int64_t mountid, uint64_t createdateline,
                                           uint64_t lastdateline, int reset = 0);
  // Without a content hash nothing is sent and the status is
  // RequestRet::kNoFileHash (an empty hash is sent). The signature covers the
  // parameters before "filehash" and "filesize", as the service expects.
  static RetCreateFile setFileCreateFile(const std::string& token, const std::string& webpath,
                                         int64_t mountid,
                                         const std::optional<std::string>& filehash,
                                         uint64_t filesize, uint64_t dateline,
                                         uint64_t createdateline, uint64_t lastdateline,
                                         int reset = 0);
  static RequestRet setFileDel(const std::string& token, const std::string& webpath,
                               int64_t mountid, int reset = 0);
  // `newname` is the new last component.
  static RequestRet setFileRename(const std::string& token, const std::string& webpath,
                                  int64_t mountid, const std::string& newname, int reset = 0);
  // Into the folder `newparent` of the same library.
  static RequestRet setFileMove(const std::string& token, const std::string& webpath,
                                int64_t mountid, const std::string& newparent, int reset = 0);
  // One page of the change feed after (dateline, index); `init` marks the
  // first pass over the folder.
  static RetCompare getFileCompare(const std::string& token, const std::string& webpath,
                                   int64_t mountid, uint64_t dateline, bool init, int reset,
                                   uint64_t index);
  // `act` is "lock" or "unlock".
  static RequestRet setFileLock(const std::string& token, const std::string& webpath,
                                int64_t mountid, const std::string& act, int reset = 0);
  // The paths go out joined by "|".
  static RetRecover setFileRecover(const std::string& token, int64_t mountid,
                                   const std::vector<std::string>& webpaths, int reset = 0);
  // At most kFileListSize entries of the folder, from entry `start` on; a
  // page shorter than that is the folder's last.
  static constexpr int64_t kFileListSize = 5000;
  static RetFileList getFileList(const std::string& token, const std::string& webpath,
                                 int64_t mountid, const std::string& messageid,
                                 const std::string& dialogid, int reset = 0, int64_t start = 0);
  static RequestRet setFileRevert(const std::string& token, const std::string& webpath,
                                  int64_t mountid, const std::string& hid, int reset = 0);

  // --- Storage-server session calls ------------------------------------------
  // `url` is the storage server's base URL with scheme (RetCreateFile). Only
  // headers travel; no signature, the marker checked, never repeated.
  // The file name as "x-nb-upload-filename" carries it: UTF-8 bytes
  // percent-escaped except letters, digits and the marks a URL allows
  // (RFC 2396), so "a b+c.txt" gives "a%20b+c.txt". Nothing is decoded
  // first: a "%" of the name is the name's own.
  static std::string uploadFileName(std::string_view name);
  static RetUploadInit sendInit(const std::string& url, const std::string& token,
                                const std::string& fileName, const std::string& pathHash,
                                const std::string& fileHash, uint64_t fileSize, int64_t mountid,
                                const std::string& storagepoint);
  static RetUploadCheckSum sendDownloadCheckSum(const std::string& url, const std::string& session);
  // `data` is the body; its CRC-32 goes out in "x-nb-upload-crc".
  static RequestRet sendUploadCheckSum(const std::string& url, const std::string& session,
                                       const std::string& data);
  static RetUploadReq sendReq(const std::string& url, const std::string& session);
  static RequestRet sendFinish(const std::string& url, const std::string& session,
                               int64_t filesize);
  static RequestRet sendAbort(const std::string& url, const std::string& session);

  // --- The account's own data --------------------------------------------------
  // Each signs, checks the marker and repeats on an expired token.
  static RequestRet setFavoriteName(const std::string& token, const std::string& type,
                                    const std::string& name, int reset = 0);
  // `ents`: enterprise ids as one text.
  static RetTemplates getEntTemplates(const std::string& token, const std::string& ents,
                                      int reset = 0);
  static RetTemplateDownload getEntTemplateUrl(const std::string& token, int64_t entid,
                                               const std::string& filehash, int reset = 0);
  // The raw JSON text with `ret` true, or "" with `ret` false.
  static std::string getShortcuts(const std::string& token, bool& ret, int reset = 0);
  static RetSettingList getAccountSetting(const std::string& token, int reset = 0);
  static RetHotFileList getHotFileList(const std::string& token, int reset = 0);
  static RetFavoritesList getFavoritesList(const std::string& token, int reset = 0);
  // Name and mobile go out when not empty; a picture path sends the file as
  // a multipart body. Status only.
  static RequestRet setAccountInfo(const std::string& token, const std::string& name,
                                   const std::string& mobile, const std::string& filepath,
                                   int reset = 0);

  // --- Account and library calls ---------------------------------------------
  // strJsonInfo holds the whole body of a successful answer.
  static RetUserInfo getAccountInfo(const std::string& token, int reset = 0);
  // Status only: no account field is read.
  static RetUserInfo setAccountDevice(const std::string& token, const std::string& device,
                                      const std::string& info, int reset = 0);
  static RetMounts getMounts(const std::string& token, int reset = 0);
  // The libraries of these organisations (sent as "3,7" under org_id).
  static RetMounts getMounts(const std::string& token, const std::vector<int64_t>& orgids,
                             int reset = 0);
  // The libraries with these ids (under mount_id).
  static RetMounts getMountsByIds(const std::string& token, const std::vector<int64_t>& mountids,
                                  int reset = 0);
  static RetEnts getEnts(const std::string& token, int reset = 0);
  static RetGetServer getAccountServers(const std::string& token, const std::string& type,
                                        int reset = 0);
};

}  // namespace nb
