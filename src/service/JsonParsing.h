#pragma once

#include <boost/json/parse.hpp>
#include <boost/json/parse_options.hpp>
#include <boost/json/value.hpp>
#include <cstddef>
#include <string_view>

namespace wrenly {

// How deeply a reply or a stream message may nest. The parser's own default (32) refuses valid
// replies whose ignored members happen to be deep. The transports already cap the size (32 MiB
// for a reply, 1 MiB for a message); this bound keeps the recursive destruction of a parsed
// value well inside the stack.
inline constexpr std::size_t jsonNestingLimit = 512;

// Parses one reply or message with the bound above; failures (including nesting deeper than
// the bound) come back through `ec`.
inline boost::json::value parseJson(std::string_view text, boost::system::error_code& ec) {
  boost::json::parse_options options;
  options.max_depth = jsonNestingLimit;
  return boost::json::parse(boost::json::string_view(text.data(), text.size()), ec, {}, options);
}

}  // namespace wrenly
