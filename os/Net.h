// TCP sockets: connecting out (mail), listening for connections (the metrics
// endpoint). Every wait is bounded by a time-out the caller gives, so a
// silent or slow peer never holds a thread longer than the caller chose;
// tests pass short time-outs instead of waiting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace os {

enum class NetStatus {
  Ok,
  // Nothing (or not everything) could be moved before the time-out passed.
  TimedOut,
  // The peer ended the stream in order (a receive found no more bytes).
  Closed,
  // Anything else: reset by the peer, a system error, a broken TLS record.
  Failed,
};

// One connected stream. Not shared between threads at the same time; one
// thread may use a socket while another uses a different one.
class ISocket {
 public:
  virtual ~ISocket() = default;
  // Sends all of `data`, waiting at most `timeoutMs` in total. Ok only when
  // every byte went out; on TimedOut or Failed an unknown part was sent and
  // the stream is of no further use.
  virtual NetStatus Send(std::string_view data, uint32_t timeoutMs) = 0;
  // Waits at most `timeoutMs` (0: does not wait) for bytes and stores what
  // arrived, 1 to `capacity` bytes, in `buffer`, their count in *received.
  // *received is 0 unless the result is Ok.
  virtual NetStatus Receive(char* buffer, size_t capacity, size_t* received,
                            uint32_t timeoutMs) = 0;
  // Ends the sending direction: the peer reads end of stream, and can still
  // answer.
  virtual void ShutdownSend() = 0;
  // The last failure in words ("Connection reset by peer"), for logs and
  // error results; empty when there was none.
  virtual std::string LastError() const = 0;
};

class IListener {
 public:
  virtual ~IListener() = default;
  // Waits at most `timeoutMs` (0: does not wait) for the next connection.
  // Ok with *connection set, or TimedOut, or Failed.
  virtual NetStatus Accept(std::unique_ptr<ISocket>* connection, uint32_t timeoutMs) = 0;
  // The local port, which is the one the system chose when Listen had 0.
  virtual uint16_t Port() const = 0;
};

// Hosts are names (resolved by the system) or numeric addresses; an IPv6
// address may stand in brackets ("[::1]"). Host texts longer than 255 bytes,
// or holding a NUL or other control byte, are refused before any lookup.
class INet {
 public:
  virtual ~INet() = default;
  // Connects to the first address of `host` that answers, within
  // `timeoutMs` for each address tried. Null with a one-line *error on
  // failure ("connection refused", "timed out", "unknown host ...").
  virtual std::unique_ptr<ISocket> Connect(const std::string& host, uint16_t port,
                                           uint32_t timeoutMs, std::string* error) = 0;
  // Listens on `host` ("" for every local address) and `port` (0: any free
  // port). Null with a one-line *error when the address cannot be had
  // (already in use, no such local address).
  virtual std::unique_ptr<IListener> Listen(const std::string& host, uint16_t port,
                                            std::string* error) = 0;
  // This computer's name (GetComputerName on Windows, at most 15
  // characters; the host name on Linux), UTF-8; empty when unknown.
  virtual std::string LocalHostName() = 0;
};

// Limits and checks both backends share.
inline constexpr size_t MAX_HOST_TEXT = 255;
// True when `host` may be handed to the name service: 1 to 255 bytes, no
// control byte, no space.
bool IsAcceptableHostText(std::string_view host);
// "[::1]" -> "::1"; anything else unchanged.
std::string StripHostBrackets(const std::string& host);
const char* NetStatusName(NetStatus status);

}  // namespace os
