#pragma once

#include <glib.h>

#include <string>

namespace wrenly {

// The options of a portal's CreateSession: the request and the session are named by one token,
// so that their object paths are known before the reply and their signals are not missed.
inline void beginSessionOptions(GVariantBuilder& options, const std::string& token) {
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  g_variant_builder_add(&options, "{sv}", "session_handle_token",
                        g_variant_new_string(token.c_str()));
}

}  // namespace wrenly
