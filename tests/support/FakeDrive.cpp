#include "support/FakeDrive.h"

#include <cstdio>
#include <sstream>

#include <openssl/sha.h>

#include "support/FakeStorageServer.h"

namespace nb::test {

namespace {

std::string sha1Hex(const std::string& bytes) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  std::string hex;
  char pair[3];
  for (const unsigned char byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

}  // namespace

FakeDrive::FakeDrive(FakeService& api, FakeLibraryTree::Clock clock)
    : api_(api), clock_(std::move(clock)) {
  installFakeFileEndpoints(*this);
  installFakeAccountEndpoints(*this);
}

FakeDrive::~FakeDrive() = default;

const FakeUser& FakeDrive::addUser(FakeUser user) {
  std::lock_guard guard(lock_);
  users_.push_back(std::move(user));
  return users_.back();
}

std::string FakeDrive::signIn(const FakeUser& user) {
  const std::string token = api_.tokens().issue().accessToken;
  std::lock_guard guard(lock_);
  tokenUsers_[token] = user.memberId;
  return token;
}

std::optional<FakeUser> FakeDrive::userFor(const std::string& token) const {
  std::lock_guard guard(lock_);
  if (users_.empty()) return std::nullopt;
  const auto found = tokenUsers_.find(token);
  if (found != tokenUsers_.end()) {
    for (const auto& user : users_) {
      if (user.memberId == found->second) return user;
    }
  }
  return users_.front();
}

void FakeDrive::addEnterprise(FakeEnterprise enterprise) {
  std::lock_guard guard(lock_);
  enterprises_.push_back(std::move(enterprise));
}

std::vector<FakeEnterprise> FakeDrive::enterprises() const {
  std::lock_guard guard(lock_);
  return enterprises_;
}

FakeLibraryTree& FakeDrive::addLibrary(FakeLibrary library) {
  std::lock_guard guard(lock_);
  auto& tree = trees_[library.mountId];
  if (!tree) tree = std::make_unique<FakeLibraryTree>(library.mountId, clock_);
  libraries_.push_back(std::move(library));
  return *tree;
}

std::vector<FakeLibrary> FakeDrive::libraries() const {
  std::lock_guard guard(lock_);
  return libraries_;
}

void FakeDrive::setLibraryProperty(int64_t mountId, std::string property) {
  std::lock_guard guard(lock_);
  for (auto& library : libraries_) {
    if (library.mountId == mountId) library.property = property;
  }
}

FakeLibraryTree* FakeDrive::tree(int64_t mountId) {
  std::lock_guard guard(lock_);
  const auto found = trees_.find(mountId);
  return found == trees_.end() ? nullptr : found->second.get();
}

std::string FakeDrive::contentHash(const std::string& bytes) { return sha1Hex(bytes); }

std::string FakeDrive::putContent(const std::string& bytes) {
  std::string hash = sha1Hex(bytes);
  std::lock_guard guard(lock_);
  contents_[hash] = bytes;
  return hash;
}

std::optional<std::string> FakeDrive::content(const std::string& filehash) const {
  std::lock_guard guard(lock_);
  const auto found = contents_.find(filehash);
  if (found == contents_.end()) return std::nullopt;
  return found->second;
}

bool FakeDrive::hasContent(const std::string& filehash) const {
  std::lock_guard guard(lock_);
  return contents_.contains(filehash);
}

FakeEntry FakeDrive::putFile(int64_t mountId, const std::string& path, const std::string& bytes,
                             const FakeMember& by) {
  FakeLibraryTree* library = tree(mountId);
  if (library == nullptr) library = &addLibrary(FakeLibrary{.mountId = mountId});
  const std::string parent = FakeLibraryTree::normalize(path);
  if (const auto slash = parent.rfind('/'); slash != std::string::npos) {
    library->addFolder(parent.substr(0, slash), by);
  }
  library->putFile(path, putContent(bytes), bytes.size(), by);
  return library->find(path).value();
}

FakeStorageServer& FakeDrive::addStorageServer(bool https) {
  auto server = std::make_unique<FakeStorageServer>(*this, https);
  std::lock_guard guard(lock_);
  storage_.push_back(std::move(server));
  return *storage_.back();
}

void FakeDrive::setDownloadUrlSource(DownloadUrlSource source) {
  std::lock_guard guard(lock_);
  downloadUrlSource_ = std::move(source);
}

std::vector<std::string> FakeDrive::downloadUrls(const std::string& filehash) const {
  DownloadUrlSource source;
  {
    std::lock_guard guard(lock_);
    source = downloadUrlSource_;
  }
  if (source) return source(filehash);
  std::vector<std::string> urls;
  for (const auto* server : storageServers()) urls.push_back(server->downloadUrl(filehash));
  return urls;
}

std::vector<FakeStorageServer*> FakeDrive::storageServers() const {
  std::lock_guard guard(lock_);
  std::vector<FakeStorageServer*> servers;
  for (const auto& server : storage_) servers.push_back(server.get());
  return servers;
}

void FakeDrive::addPending(FakePendingUpload upload) {
  std::lock_guard guard(lock_);
  pending_[upload.hash] = std::move(upload);
}

std::optional<FakePendingUpload> FakeDrive::pending(const std::string& hash) const {
  std::lock_guard guard(lock_);
  const auto found = pending_.find(hash);
  if (found == pending_.end()) return std::nullopt;
  return found->second;
}

bool FakeDrive::finishPending(const std::string& hash, const std::string& bytes) {
  const auto upload = pending(hash);
  FakeLibraryTree* library = upload ? tree(upload->mountId) : nullptr;
  if (library == nullptr) return false;
  putContent(bytes);
  const FakeTreeError result =
      library->putFile(upload->fullpath, upload->filehash, upload->filesize, upload->by,
                       upload->createDateline, upload->lastDateline);
  if (result != FakeTreeError::None) return false;
  std::lock_guard guard(lock_);
  pending_.erase(hash);
  return true;
}

void FakeDrive::setTemplates(int entId, nlohmann::json templates) {
  std::lock_guard guard(lock_);
  templates_[entId] = std::move(templates);
}

nlohmann::json FakeDrive::templates(const std::string& entIds) const {
  std::lock_guard guard(lock_);
  nlohmann::json answer = nlohmann::json::object();
  std::stringstream ids(entIds);
  std::string id;
  while (std::getline(ids, id, ',')) {
    try {
      const auto found = templates_.find(std::stoi(id));
      if (found != templates_.end()) answer[id] = found->second;
    } catch (const std::exception&) {
      // Not a number: the service skips it.
    }
  }
  return answer;
}

void FakeDrive::setSettings(nlohmann::json list) {
  std::lock_guard guard(lock_);
  settings_ = std::move(list);
}

void FakeDrive::setHotFiles(nlohmann::json list) {
  std::lock_guard guard(lock_);
  hotFiles_ = std::move(list);
}

void FakeDrive::setFavoriteFiles(nlohmann::json list) {
  std::lock_guard guard(lock_);
  favoriteFiles_ = std::move(list);
}

void FakeDrive::setShortcuts(std::string rawJson) {
  std::lock_guard guard(lock_);
  shortcuts_ = std::move(rawJson);
}

nlohmann::json FakeDrive::settings() const {
  std::lock_guard guard(lock_);
  return settings_;
}

nlohmann::json FakeDrive::hotFiles() const {
  std::lock_guard guard(lock_);
  return hotFiles_;
}

nlohmann::json FakeDrive::favoriteFiles() const {
  std::lock_guard guard(lock_);
  return favoriteFiles_;
}

std::string FakeDrive::shortcuts() const {
  std::lock_guard guard(lock_);
  return shortcuts_;
}

std::vector<std::string> FakeDrive::devices() const {
  std::lock_guard guard(lock_);
  return devices_;
}

std::vector<std::pair<std::string, std::string>> FakeDrive::favoriteNames() const {
  std::lock_guard guard(lock_);
  return favoriteNames_;
}

void FakeDrive::recordDevice(std::string device) {
  std::lock_guard guard(lock_);
  devices_.push_back(std::move(device));
}

void FakeDrive::recordFavoriteName(std::string type, std::string name) {
  std::lock_guard guard(lock_);
  favoriteNames_.emplace_back(std::move(type), std::move(name));
}

}  // namespace nb::test
