#include "platform/linux/secret/SecretServiceProbe.h"

#include <gio/gio.h>

#include <cstring>
#include <memory>

namespace wrenly {
namespace {

constexpr const char* secretServiceName = "org.freedesktop.secrets";
constexpr int busTimeoutMs = 2000;

struct GErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
struct GVariantUnref {
  void operator()(GVariant* value) const { g_variant_unref(value); }
};

using Reply = std::unique_ptr<GVariant, GVariantUnref>;

Reply askBus(GDBusConnection* bus, const char* method, GVariant* arguments,
             const GVariantType* type, std::unique_ptr<GError, GErrorFree>& failure) {
  GError* error = nullptr;
  Reply reply(g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                          "org.freedesktop.DBus", method, arguments, type,
                                          G_DBUS_CALL_FLAGS_NONE, busTimeoutMs, nullptr, &error));
  failure.reset(error);
  return reply;
}

}  // namespace

std::optional<std::string> secretServiceProblem() {
  GError* error = nullptr;
  const std::unique_ptr<GDBusConnection, GObjectUnref> bus(
      g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error));
  std::unique_ptr<GError, GErrorFree> failure(error);
  if (!bus) return std::string(failure ? failure->message : "no session bus");

  Reply owned = askBus(bus.get(), "NameHasOwner", g_variant_new("(s)", secretServiceName),
                       G_VARIANT_TYPE("(b)"), failure);
  if (!owned) return std::string(failure ? failure->message : "the session bus did not answer");
  gboolean hasOwner = FALSE;
  g_variant_get(owned.get(), "(b)", &hasOwner);
  if (hasOwner) return std::nullopt;

  Reply activatable =
      askBus(bus.get(), "ListActivatableNames", nullptr, G_VARIANT_TYPE("(as)"), failure);
  if (!activatable)
    return std::string(failure ? failure->message : "the session bus did not answer");
  GVariantIter* names = nullptr;
  g_variant_get(activatable.get(), "(as)", &names);
  const char* name = nullptr;
  bool found = false;
  while (!found && g_variant_iter_next(names, "&s", &name)) {
    found = std::strcmp(name, secretServiceName) == 0;
  }
  g_variant_iter_free(names);
  if (found) return std::nullopt;
  return std::string("nothing provides org.freedesktop.secrets on the session bus");
}

}  // namespace wrenly
