#include "platform/linux/secret/LibsecretStore.h"

#include <libsecret/secret.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace wrenly {

namespace {

const SecretSchema* credentialSchema() {
  // Items are found by their attributes alone, whatever schema name another client wrote.
  static const SecretSchema schema = {"app.tervane.voice.Credential",
                                      SECRET_SCHEMA_DONT_MATCH_NAME,
                                      {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
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

// Cancels the call's GCancellable once `bound` has passed, unless the call ended first.
class CallBound {
 public:
  explicit CallBound(std::chrono::milliseconds bound) : cancellable_(g_cancellable_new()) {
    watchdog_ = std::thread([this, bound] {
      std::unique_lock lock(mutex_);
      if (!done_.wait_for(lock, bound, [this] { return finished_; })) {
        expired_ = true;
        g_cancellable_cancel(cancellable_);
      }
    });
  }
  ~CallBound() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
    watchdog_.join();
    g_object_unref(cancellable_);
  }
  CallBound(const CallBound&) = delete;
  CallBound& operator=(const CallBound&) = delete;

  GCancellable* cancellable() const { return cancellable_; }
  bool expired() {
    std::lock_guard lock(mutex_);
    return expired_;
  }

 private:
  GCancellable* cancellable_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  bool expired_ = false;
  std::thread watchdog_;
};

struct ErrorDeleter {
  void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorDeleter>;

SecretStoreFailure classify(const GError* error, CallBound& bound) {
  if (bound.expired()) return SecretStoreFailure::timedOut;
  if (error->domain == SECRET_ERROR && error->code == SECRET_ERROR_IS_LOCKED) {
    return SecretStoreFailure::locked;
  }
  // No bus, nobody owning the Secret Service name, or a bus that cannot start one.
  if (error->domain == G_DBUS_ERROR || error->domain == G_IO_ERROR) {
    return SecretStoreFailure::unavailable;
  }
  return SecretStoreFailure::failed;
}

}  // namespace

LibsecretStore::LibsecretStore(std::chrono::milliseconds bound) : bound_(bound) {}

SecretLookup LibsecretStore::lookup(std::string_view service, std::string_view account) {
  const std::string serviceText(service), accountText(account);
  CallBound bound(bound_);
  GError* raw = nullptr;
  gchar* secret =
      secret_password_lookup_sync(credentialSchema(), bound.cancellable(), &raw, "service",
                                  serviceText.c_str(), "account", accountText.c_str(), nullptr);
  ErrorPtr error(raw);
  if (error) return SecretLookup::failedWith(classify(error.get(), bound));
  if (!secret) return SecretLookup::notFound();
  std::string value(secret);
  secret_password_free(secret);
  return SecretLookup::found(std::move(value));
}

std::optional<SecretStoreFailure> LibsecretStore::store(std::string_view service,
                                                        std::string_view account,
                                                        std::string_view secret) {
  const std::string serviceText(service), accountText(account), secretText(secret);
  const std::string label = "Wrenly (" + accountText + ")";
  CallBound bound(bound_);
  GError* raw = nullptr;
  gboolean stored =
      secret_password_store_sync(credentialSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                 secretText.c_str(), bound.cancellable(), &raw, "service",
                                 serviceText.c_str(), "account", accountText.c_str(), nullptr);
  ErrorPtr error(raw);
  if (error) return classify(error.get(), bound);
  if (!stored) return SecretStoreFailure::failed;
  return std::nullopt;
}

std::optional<SecretStoreFailure> LibsecretStore::remove(std::string_view service,
                                                         std::string_view account) {
  const std::string serviceText(service), accountText(account);
  CallBound bound(bound_);
  GError* raw = nullptr;
  // FALSE without an error means there was nothing to delete, which is what was asked.
  secret_password_clear_sync(credentialSchema(), bound.cancellable(), &raw, "service",
                             serviceText.c_str(), "account", accountText.c_str(), nullptr);
  ErrorPtr error(raw);
  if (error) return classify(error.get(), bound);
  return std::nullopt;
}

}  // namespace wrenly
