#include "os/Net.h"

namespace os {

bool IsAcceptableHostText(std::string_view host) {
  if (host.empty() || host.size() > MAX_HOST_TEXT) return false;
  for (char c : host) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) return false;
  }
  return true;
}

std::string StripHostBrackets(const std::string& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    return host.substr(1, host.size() - 2);
  return host;
}

const char* NetStatusName(NetStatus status) {
  switch (status) {
    case NetStatus::Ok:
      return "ok";
    case NetStatus::TimedOut:
      return "timed out";
    case NetStatus::Closed:
      return "closed by the peer";
    case NetStatus::Failed:
      return "failed";
  }
  return "failed";
}

}  // namespace os
