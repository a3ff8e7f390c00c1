// Arbitrary bytes as the request head a client sends to the metrics
// endpoint, and as a metrics address from the command line or settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "monitor/MetricsEndpoint.h"
#include "os/Net.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  monitor::HttpRequestHead head;
  const monitor::HttpParse parse = monitor::ParseHttpRequestHead(bytes, &head);
  if (parse == monitor::HttpParse::OK) {
    if (head.Method.empty() || head.Target.empty()) std::abort();
  }
  if (parse != monitor::HttpParse::INCOMPLETE) {
    const std::string response =
        monitor::HttpResponse(parse, head, [] { return std::string("m 1\n"); });
    if (response.rfind("HTTP/1.1 ", 0) != 0) std::abort();
  }
  std::string host;
  uint16_t port = 0;
  std::string error;
  if (monitor::ParseMetricsAddress(std::string(bytes), &host, &port, &error)) {
    // An accepted host is one the name service may be handed, or empty
    // (every local address).
    if (!host.empty() && !os::IsAcceptableHostText(host)) std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  return 0;
}
