#pragma once

#include <string>
#include <string_view>

namespace wrenly::speech {

// The sign-in page: a form that posts `state` back with the person's decision ("allow" or
// "deny") to `action`.
std::string signInPage(std::string_view action, std::string_view state);
// The page for a sign-in that has expired or was already used.
std::string expiredSignInPage();
// Shown while the browser follows the redirect back to the program; links there as well.
std::string returningPage(std::string_view callback);

// What the service keeps and what it never keeps.
std::string privacyPage();

// Escapes text for HTML element content and attribute values.
std::string htmlEscaped(std::string_view text);

}  // namespace wrenly::speech
