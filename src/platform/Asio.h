#pragma once
// One short name for Boost.Asio across the program.
#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>

namespace wrenly {

namespace asio = boost::asio;

}  // namespace wrenly
