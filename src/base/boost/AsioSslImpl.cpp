// The one translation unit that compiles Asio's TLS layer.
#include <boost/asio/ssl/impl/src.hpp>
