// Runs under run-libsecret-tests.sh, which provides the bus (and keyring) each suite expects.
#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include "platform/linux/secret/LibsecretStore.h"

using namespace wrenly;

namespace {

constexpr const char* service = "app.tervane.voice.mac.invitation";
constexpr const char* account = "https://speech.example.test/wrenly/v1/";

// How many items carry these attributes, asked of the service directly.
int itemCount(const char* serviceName, const char* accountName) {
  GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
  g_hash_table_insert(attributes, const_cast<char*>("service"), const_cast<char*>(serviceName));
  g_hash_table_insert(attributes, const_cast<char*>("account"), const_cast<char*>(accountName));
  GError* error = nullptr;
  GList* items =
      secret_service_search_sync(nullptr, nullptr, attributes, SECRET_SEARCH_ALL, nullptr, &error);
  g_hash_table_unref(attributes);
  if (error) {
    ADD_FAILURE() << error->message;
    g_error_free(error);
    return -1;
  }
  int count = static_cast<int>(g_list_length(items));
  g_list_free_full(items, g_object_unref);
  return count;
}

TEST(WithKeyring, StoresLooksUpReplacesRemovesAndGivesUpWhenLocked) {
  LibsecretStore store(std::chrono::seconds(3));
  const char* other = "https://other.example.test/wrenly/v1/";
  EXPECT_FALSE(store.lookup(service, account).secret());
  EXPECT_FALSE(store.lookup(service, account).failure());

  EXPECT_EQ(store.store(service, account, "first"), std::nullopt);
  EXPECT_EQ(store.lookup(service, account).secret(), "first");
  EXPECT_EQ(store.store(service, account, "second"), std::nullopt);
  EXPECT_EQ(store.store(service, other, "theirs"), std::nullopt);
  EXPECT_EQ(store.lookup(service, account).secret(), "second");
  EXPECT_EQ(store.lookup(service, other).secret(), "theirs");
  EXPECT_FALSE(store.lookup("another.service", account).secret());
  EXPECT_EQ(store.remove("another.service", account), std::nullopt);
  EXPECT_EQ(itemCount(service, account), 1);

  EXPECT_EQ(store.remove(service, account), std::nullopt);
  EXPECT_FALSE(store.lookup(service, account).secret());
  EXPECT_EQ(itemCount(service, account), 0);
  EXPECT_EQ(store.remove(service, account), std::nullopt);  // nothing left to remove
  EXPECT_EQ(store.lookup(service, other).secret(), "theirs");

  // A locked keyring gives no secret and refuses stores.
  GError* error = nullptr;
  SecretService* secretService = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
  ASSERT_TRUE(secretService) << error->message;
  SecretCollection* collection = secret_collection_for_alias_sync(
      secretService, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
  ASSERT_TRUE(collection) << (error ? error->message : "no default collection");
  GList* objects = g_list_append(nullptr, collection);
  secret_service_lock_sync(secretService, objects, nullptr, nullptr, &error);
  g_list_free(objects);
  ASSERT_FALSE(error) << error->message;

  // Nobody can answer an unlock prompt here: the store must give up instead of waiting.
  EXPECT_FALSE(store.lookup(service, other).secret());
  EXPECT_TRUE(store.store(service, account, "new").has_value());
  g_object_unref(collection);
  g_object_unref(secretService);
}

TEST(WithoutSecretService, LooksUpNothingAndRefusesStoresAtOnce) {
  // A bound far above the answer's time, so a slow first connection (under a sanitizer, which
  // symbolises the library's suppressed reports) still tells unavailable from timed out.
  LibsecretStore store(std::chrono::seconds(20));
  auto lookup = store.lookup(service, account);
  EXPECT_FALSE(lookup.secret());
  // Unavailable, not timed out: the answer came without waiting for the bound.
  EXPECT_EQ(lookup.failure(), SecretStoreFailure::unavailable);
  EXPECT_EQ(store.store(service, account, "x"), SecretStoreFailure::unavailable);
  EXPECT_EQ(store.remove(service, account), SecretStoreFailure::unavailable);
}

}  // namespace
