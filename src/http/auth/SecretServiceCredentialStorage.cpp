#include "http/auth/SecretServiceCredentialStorage.h"

#include <libsecret/secret.h>

#include <memory>
#include <string>

#include "platform/Log.h"

namespace nb::http {

namespace {

const SecretSchema* credentialSchema() {
  static const SecretSchema schema = {
      "net.nubren.HttpCredential",
      SECRET_SCHEMA_NONE,
      {
          {"kind", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {"host", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {"port", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
          {"protocol", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {"realm", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
      },
      0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return &schema;
}

struct FreeHashTable {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, FreeHashTable>;

struct FreeError {
  void operator()(GError* error) const { g_error_free(error); }
};
using Error = std::unique_ptr<GError, FreeError>;

// The attributes naming a protection space (without the user name).
Attributes spaceAttributes(const ASIProtectionSpace& space) {
  Attributes attributes(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
  const auto put = [&](const char* name, const std::string& value) {
    g_hash_table_insert(attributes.get(), g_strdup(name), g_strdup(value.c_str()));
  };
  put("kind", space.proxy ? "proxy" : "server");
  put("host", space.host);
  put("port", std::to_string(space.port));
  put("protocol", space.protocol);
  put("realm", space.realm.value_or(""));
  return attributes;
}

std::string describe(const ASIProtectionSpace& space) {
  return (space.proxy ? "proxy " : "") + space.host + ":" + std::to_string(space.port);
}

}  // namespace

std::optional<ASICredentials> SecretServiceCredentialStorage::credentialsFor(
    const ASIProtectionSpace& space) {
  const Attributes attributes = spaceAttributes(space);
  GError* raw = nullptr;
  GList* items = secret_service_search_sync(
      nullptr, credentialSchema(), attributes.get(),
      static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS), nullptr, &raw);
  const Error error(raw);
  if (error) {
    NBLOG_INFO("no credential storage for {}: {}", describe(space), error->message);
    return std::nullopt;
  }
  std::optional<ASICredentials> found;
  if (items != nullptr) {
    auto* item = static_cast<SecretItem*>(items->data);
    const Attributes itemAttributes(secret_item_get_attributes(item));
    SecretValue* secret = secret_item_get_secret(item);
    const auto* user = static_cast<const char*>(g_hash_table_lookup(itemAttributes.get(), "user"));
    const char* password = secret != nullptr ? secret_value_get_text(secret) : nullptr;
    if (user != nullptr && password != nullptr) found = ASICredentials{user, password, std::nullopt};
    if (secret != nullptr) secret_value_unref(secret);
  }
  g_list_free_full(items, g_object_unref);
  return found;
}

void SecretServiceCredentialStorage::save(const ASIProtectionSpace& space,
                                          const ASICredentials& credentials) {
  // One credential per space: the one saved before goes.
  remove(space);
  const Attributes attributes = spaceAttributes(space);
  g_hash_table_insert(attributes.get(), g_strdup("user"), g_strdup(credentials.username.c_str()));
  const std::string label = "nubren: " + describe(space);
  GError* raw = nullptr;
  secret_password_storev_sync(credentialSchema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
                              label.c_str(), credentials.password.c_str(), nullptr, &raw);
  const Error error(raw);
  if (error) NBLOG_INFO("credentials for {} not saved: {}", describe(space), error->message);
}

void SecretServiceCredentialStorage::remove(const ASIProtectionSpace& space) {
  const Attributes attributes = spaceAttributes(space);
  GError* raw = nullptr;
  secret_password_clearv_sync(credentialSchema(), attributes.get(), nullptr, &raw);
  const Error error(raw);
  if (error) NBLOG_INFO("credentials for {} not removed: {}", describe(space), error->message);
}

}  // namespace nb::http
