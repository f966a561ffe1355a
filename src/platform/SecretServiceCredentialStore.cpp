// The Secret Service backend of the credential store, through libsecret's synchronous calls.
#include <libsecret/secret.h>

#include "platform/CredentialStoreBackends.h"

namespace zavro {

namespace {

const SecretSchema* credentialSchema() {
  static const SecretSchema schema = {"com.zavro.ZavroConnect.Credential",
                                      SECRET_SCHEMA_NONE,
                                      {
                                          {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                          {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
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
  return &schema;
}

constexpr int kCallTimeoutMs = 15000;

std::string takeError(GError* error, const char* fallback) {
  std::string text = error != nullptr && error->message != nullptr ? error->message : fallback;
  g_clear_error(&error);
  return text;
}

struct AttributesDeleter {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, AttributesDeleter>;

// The table keeps pointers to the strings, which outlive it in every caller.
Attributes attributesFor(const std::string& service, const std::string& account) {
  Attributes table(g_hash_table_new(g_str_hash, g_str_equal));
  g_hash_table_insert(table.get(), const_cast<char*>("service"), const_cast<char*>(service.c_str()));
  g_hash_table_insert(table.get(), const_cast<char*>("account"), const_cast<char*>(account.c_str()));
  return table;
}

struct ItemList {
  GList* items = nullptr;
  ~ItemList() { g_list_free_full(items, g_object_unref); }
};

}  // namespace

struct SecretServiceCredentialStore::Impl {
  SecretService* service = nullptr;

  ~Impl() {
    if (service != nullptr) {
      g_object_unref(service);
    }
  }

  // Asks the service itself (not libsecret's cached proxies, whose properties only follow changes
  // while a main loop runs) whether the collection behind the "default" alias is locked.
  // nullopt with *error set when the question cannot be answered.
  std::optional<bool> defaultCollectionLocked(std::string* error) {
    GError* gerror = nullptr;
    GVariant* alias = g_dbus_proxy_call_sync(G_DBUS_PROXY(service), "ReadAlias", g_variant_new("(s)", "default"),
                                             G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &gerror);
    if (alias == nullptr) {
      *error = takeError(gerror, "cannot read the default collection");
      return std::nullopt;
    }
    const gchar* path = nullptr;
    g_variant_get(alias, "(&o)", &path);
    std::string collection = path != nullptr ? path : "/";
    g_variant_unref(alias);
    if (collection == "/") {
      return false;  // no default collection yet: storing creates one
    }
    GDBusConnection* connection = g_dbus_proxy_get_connection(G_DBUS_PROXY(service));
    GVariant* reply = g_dbus_connection_call_sync(
        connection, g_dbus_proxy_get_name(G_DBUS_PROXY(service)), collection.c_str(), "org.freedesktop.DBus.Properties",
        "Get", g_variant_new("(ss)", "org.freedesktop.Secret.Collection", "Locked"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &gerror);
    if (reply == nullptr) {
      *error = takeError(gerror, "cannot read the state of the default collection");
      return std::nullopt;
    }
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    bool locked = value != nullptr && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) &&
                  g_variant_get_boolean(value) != FALSE;
    if (value != nullptr) {
      g_variant_unref(value);
    }
    g_variant_unref(reply);
    return locked;
  }

  // Error unless the default collection is known to be unlocked.
  std::optional<CredentialResult> refuseWhenLocked() {
    std::string error;
    auto locked = defaultCollectionLocked(&error);
    if (!locked) {
      return CredentialResult::failure(error);
    }
    if (*locked) {
      return CredentialResult::failure("the default keyring is locked");
    }
    return std::nullopt;
  }

  // The matching items; Error when the search fails or an item found is locked.
  std::optional<CredentialResult> search(const std::string& serviceName, const std::string& account, ItemList& found,
                                         bool loadSecrets) {
    auto attributes = attributesFor(serviceName, account);
    GError* gerror = nullptr;
    auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | (loadSecrets ? SECRET_SEARCH_LOAD_SECRETS : 0));
    found.items = secret_service_search_sync(service, credentialSchema(), attributes.get(), flags, nullptr, &gerror);
    if (gerror != nullptr) {
      return CredentialResult::failure(takeError(gerror, "search failed"));
    }
    for (GList* l = found.items; l != nullptr; l = l->next) {
      if (secret_item_get_locked(SECRET_ITEM(l->data))) {
        return CredentialResult::failure("the keyring holding the item is locked");
      }
    }
    return std::nullopt;
  }
};

SecretServiceCredentialStore::SecretServiceCredentialStore(std::unique_ptr<Impl> impl) : mImpl(std::move(impl)) {}
SecretServiceCredentialStore::~SecretServiceCredentialStore() = default;

std::shared_ptr<SecretServiceCredentialStore> SecretServiceCredentialStore::connect(std::string* error) {
  GError* gerror = nullptr;
  // Opening the session is a real call: it fails when nothing owns (or can be started for) the name.
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &gerror);
  if (service == nullptr) {
    std::string why = takeError(gerror, "no Secret Service on the session bus");
    if (error != nullptr) {
      *error = why;
    }
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->service = service;
  return std::shared_ptr<SecretServiceCredentialStore>(new SecretServiceCredentialStore(std::move(impl)));
}

CredentialResult SecretServiceCredentialStore::doFind(const std::string& service, const std::string& account) {
  if (auto refused = mImpl->refuseWhenLocked()) {
    return *refused;
  }
  ItemList found;
  if (auto failed = mImpl->search(service, account, found, true)) {
    return *failed;
  }
  if (found.items == nullptr) {
    return CredentialResult::missing();
  }
  SecretValue* value = secret_item_get_secret(SECRET_ITEM(found.items->data));
  if (value == nullptr) {
    return CredentialResult::failure("the secret of the item could not be read");
  }
  gsize length = 0;
  const gchar* bytes = secret_value_get(value, &length);
  std::string secret(bytes != nullptr ? bytes : "", bytes != nullptr ? length : 0);
  secret_value_unref(value);
  return CredentialResult::success(std::move(secret));
}

CredentialResult SecretServiceCredentialStore::doAdd(const std::string& service, const std::string& account,
                                                     const std::string& secret) {
  if (auto refused = mImpl->refuseWhenLocked()) {
    return *refused;
  }
  ItemList found;
  if (auto failed = mImpl->search(service, account, found, false)) {
    return *failed;
  }
  if (found.items != nullptr) {
    return CredentialResult::failure("an item for this account exists already");
  }
  auto attributes = attributesFor(service, account);
  std::string label = "ZavroConnect password for " + account;
  SecretValue* value = secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain");
  GError* gerror = nullptr;
  gboolean stored = secret_password_storev_binary_sync(credentialSchema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
                                                       label.c_str(), value, nullptr, &gerror);
  secret_value_unref(value);
  if (!stored) {
    return CredentialResult::failure(takeError(gerror, "the item could not be stored"));
  }
  return CredentialResult::success();
}

CredentialResult SecretServiceCredentialStore::doUpdate(const std::string& service, const std::string& account,
                                                        const std::string& secret) {
  if (auto refused = mImpl->refuseWhenLocked()) {
    return *refused;
  }
  ItemList found;
  if (auto failed = mImpl->search(service, account, found, false)) {
    return *failed;
  }
  if (found.items == nullptr) {
    return CredentialResult::missing();
  }
  SecretValue* value = secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain");
  GError* gerror = nullptr;
  gboolean stored = secret_item_set_secret_sync(SECRET_ITEM(found.items->data), value, nullptr, &gerror);
  secret_value_unref(value);
  if (!stored) {
    return CredentialResult::failure(takeError(gerror, "the item could not be changed"));
  }
  return CredentialResult::success();
}

CredentialResult SecretServiceCredentialStore::doRemove(const std::string& service, const std::string& account) {
  if (auto refused = mImpl->refuseWhenLocked()) {
    return *refused;
  }
  ItemList found;
  if (auto failed = mImpl->search(service, account, found, false)) {
    return *failed;
  }
  if (found.items == nullptr) {
    return CredentialResult::missing();
  }
  for (GList* l = found.items; l != nullptr; l = l->next) {
    GError* gerror = nullptr;
    if (!secret_item_delete_sync(SECRET_ITEM(l->data), nullptr, &gerror)) {
      return CredentialResult::failure(takeError(gerror, "the item could not be deleted"));
    }
  }
  return CredentialResult::success();
}

}  // namespace zavro
