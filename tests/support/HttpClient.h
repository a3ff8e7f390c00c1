// A minimal HTTP/1.0 client over the sockets layer, for tests that talk to
// the metrics endpoint or to a Prometheus server on loopback.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "os/Net.h"

namespace testutil {

// Sends `request` as it stands and reads the answer to its end; empty when
// the connection failed.
inline std::string HttpExchange(os::INet& net, uint16_t port, const std::string& request,
                                uint32_t timeoutMs = 5000) {
  std::string error;
  std::unique_ptr<os::ISocket> s = net.Connect("127.0.0.1", port, timeoutMs, &error);
  if (!s || s->Send(request, timeoutMs) != os::NetStatus::Ok) return {};
  std::string answer;
  char buffer[8192];
  for (;;) {
    size_t got = 0;
    if (s->Receive(buffer, sizeof buffer, &got, timeoutMs) != os::NetStatus::Ok) break;
    answer.append(buffer, got);
  }
  return answer;
}

// GET `target`; the whole answer, head and body.
inline std::string HttpGet(os::INet& net, uint16_t port, const std::string& target) {
  return HttpExchange(net, port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
}

// The body of an answer (after the empty line); empty when there is none.
inline std::string HttpBody(const std::string& answer) {
  const size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

}  // namespace testutil
