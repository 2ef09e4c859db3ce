#include "platform/keychain/SecretServiceKeychain.h"

#include <libsecret/secret.h>

#include <cstdlib>
#include <memory>

#include "platform/keychain/KeychainAttributes.h"

namespace platform {
namespace {

using keychain_detail::AttributeMap;

constexpr const char* kSecretServiceBusName = "org.freedesktop.secrets";
constexpr int kProbeTimeoutMilliseconds = 2000;

// Stands for an identifying attribute an item was stored without. The service replaces an item when
// a new one carries all of its attributes, so an item without an access group would otherwise
// replace the same item of some group; with every identifying attribute present, only the same
// item is replaced.
constexpr const char* kAbsent = "\x1f";

const SecretSchema* schema() {
  static const SecretSchema kSchema = {"org.velloran.Keychain",
                                       SECRET_SCHEMA_NONE,
                                       {
                                           {"class", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"accessGroup", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"generic", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"applicationTag", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"keyType", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"keyClass", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"accessibility", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       },
                                       0,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr};
  return &kSchema;
}

struct HashTableFree {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using HashTable = std::unique_ptr<GHashTable, HashTableFree>;

struct ValueFree {
  void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using SecretValuePtr = std::unique_ptr<SecretValue, ValueFree>;

struct ListFree {
  void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using RetrievableList = std::unique_ptr<GList, ListFree>;

// Collects a GError so that every call site frees it the same way; tells whether one was set.
class ErrorSlot {
 public:
  ~ErrorSlot() {
    if (error_) g_error_free(error_);
  }
  GError** out() { return &error_; }
  bool failed() const { return error_ != nullptr; }

 private:
  GError* error_ = nullptr;
};

HashTable toHashTable(const AttributeMap& attributes) {
  HashTable table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
  for (const auto& [name, value] : attributes)
    g_hash_table_insert(table.get(), g_strdup(name.c_str()), g_strdup(value.c_str()));
  return table;
}

// Our attributes of an item found by a search (the service adds some of its own).
AttributeMap attributesOf(SecretRetrievable* item) {
  HashTable table(secret_retrievable_get_attributes(item));
  AttributeMap attributes;
  GHashTableIter iterator;
  gpointer name = nullptr;
  gpointer value = nullptr;
  g_hash_table_iter_init(&iterator, table.get());
  while (g_hash_table_iter_next(&iterator, &name, &value)) {
    std::string key(static_cast<const char*>(name));
    std::string text(static_cast<const char*>(value));
    if (key.find(':') == std::string::npos && text != kAbsent) attributes[key] = std::move(text);
  }
  return attributes;
}

// Every item of our schema that matches; nullopt when the service could not be asked.
std::optional<RetrievableList> search(const AttributeMap& query) {
  ErrorSlot error;
  auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK);
  GList* found =
      secret_password_searchv_sync(schema(), toHashTable(query).get(), flags, nullptr, error.out());
  if (error.failed()) {
    g_list_free_full(found, g_object_unref);
    return std::nullopt;
  }
  return RetrievableList(found);
}

KeychainStatus store(AttributeMap attributes, const Bytes& data) {
  for (const char* name : keychain_detail::identifyingNames(attributes)) attributes.emplace(name, kAbsent);
  SecretValuePtr value(secret_value_new(reinterpret_cast<const gchar*>(data.data()),
                                        static_cast<gssize>(data.size()), "application/octet-stream"));
  ErrorSlot error;
  gboolean stored =
      secret_password_storev_binary_sync(schema(), toHashTable(attributes).get(), SECRET_COLLECTION_DEFAULT,
                                         "Velloran keychain item", value.get(), nullptr, error.out());
  return stored && !error.failed() ? kKeychainSuccess : kKeychainIOFailure;
}

struct ConnectionFree {
  void operator()(GDBusConnection* connection) const { g_object_unref(connection); }
};

// Asks the bus daemon a question about the Secret Service's name; false when it cannot be asked.
bool busSays(GDBusConnection* connection, const char* method, bool (*check)(GVariant* reply)) {
  GVariant* parameters =
      g_str_equal(method, "NameHasOwner") ? g_variant_new("(s)", kSecretServiceBusName) : nullptr;
  ErrorSlot error;
  GVariant* reply = g_dbus_connection_call_sync(
      connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method, parameters,
      nullptr, G_DBUS_CALL_FLAGS_NONE, kProbeTimeoutMilliseconds, nullptr, error.out());
  if (!reply) return false;
  bool answer = check(reply);
  g_variant_unref(reply);
  return answer;
}

}  // namespace

bool SecretServiceKeychain::isAvailable() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (!address || !*address) return false;
  ErrorSlot error;
  std::unique_ptr<GDBusConnection, ConnectionFree> connection(g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, error.out()));
  if (!connection) return false;
  bool running = busSays(connection.get(), "NameHasOwner", [](GVariant* reply) {
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    return owned == TRUE;
  });
  if (running) return true;
  return busSays(connection.get(), "ListActivatableNames", [](GVariant* reply) {
    GVariantIter* names = nullptr;
    const gchar* name = nullptr;
    bool activatable = false;
    g_variant_get(reply, "(as)", &names);
    while (g_variant_iter_next(names, "&s", &name))
      activatable = activatable || g_str_equal(name, kSecretServiceBusName);
    g_variant_iter_free(names);
    return activatable;
  });
}

KeychainCopyResult SecretServiceKeychain::copyMatching(const KeychainQuery& query) {
  std::lock_guard guard(mutex_);
  std::optional<RetrievableList> found = search(keychain_detail::attributesOf(query));
  if (!found) return {kKeychainIOFailure, std::nullopt};
  SecretRetrievable* oldest = nullptr;
  for (GList* entry = found->get(); entry; entry = entry->next) {
    auto* item = static_cast<SecretRetrievable*>(entry->data);
    if (!oldest || secret_retrievable_get_created(item) < secret_retrievable_get_created(oldest))
      oldest = item;
  }
  if (!oldest) return {kKeychainItemNotFound, std::nullopt};
  ErrorSlot error;
  SecretValuePtr secret(secret_retrievable_retrieve_secret_sync(oldest, nullptr, error.out()));
  if (!secret) return {kKeychainIOFailure, std::nullopt};
  gsize length = 0;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(secret_value_get(secret.get(), &length));
  return {kKeychainSuccess, Bytes(bytes, bytes + length)};
}

KeychainStatus SecretServiceKeychain::add(const KeychainQuery& attributes, const Bytes& data) {
  std::lock_guard guard(mutex_);
  AttributeMap stored = keychain_detail::attributesOf(attributes);
  AttributeMap identity = keychain_detail::identifyingAttributes(stored);
  std::optional<RetrievableList> found = search(identity);
  if (!found) return kKeychainIOFailure;
  for (GList* entry = found->get(); entry; entry = entry->next) {
    auto* item = static_cast<SecretRetrievable*>(entry->data);
    if (keychain_detail::identifyingAttributes(attributesOf(item)) == identity) return kKeychainDuplicateItem;
  }
  return store(stored, data);
}

KeychainStatus SecretServiceKeychain::update(const KeychainQuery& query, const Bytes& data) {
  std::lock_guard guard(mutex_);
  std::optional<RetrievableList> found = search(keychain_detail::attributesOf(query));
  if (!found) return kKeychainIOFailure;
  if (!found->get()) return kKeychainItemNotFound;
  // Storing under an item's exact attributes replaces that item's secret.
  for (GList* entry = found->get(); entry; entry = entry->next) {
    KeychainStatus status = store(attributesOf(static_cast<SecretRetrievable*>(entry->data)), data);
    if (status != kKeychainSuccess) return status;
  }
  return kKeychainSuccess;
}

KeychainStatus SecretServiceKeychain::remove(const KeychainQuery& query) {
  std::lock_guard guard(mutex_);
  ErrorSlot error;
  gboolean removed = secret_password_clearv_sync(
      schema(), toHashTable(keychain_detail::attributesOf(query)).get(), nullptr, error.out());
  if (error.failed()) return kKeychainIOFailure;
  return removed ? kKeychainSuccess : kKeychainItemNotFound;
}

}  // namespace platform
