#include "server/ServiceHandler.h"

#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>

namespace wrenly::speech {

ApiReply ApiReply::json(int status, std::string body) {
  ApiReply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

ApiReply ApiReply::error(int status, std::string_view code) {
  boost::json::object inner{{"code", code}};
  return json(status, boost::json::serialize(boost::json::object{{"error", std::move(inner)}}));
}

}  // namespace wrenly::speech
