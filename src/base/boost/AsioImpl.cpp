// The one translation unit that compiles Asio.
#include <boost/asio/impl/src.hpp>
