// A network for the fuzzers of what servers send: every connection
// receives the fuzz input, cut into pieces whose sizes the input chooses
// (a length byte, then up to that many bytes), and what the client sends is
// kept for the checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "os/Net.h"

namespace netfuzz {

struct CInputShape {
  size_t MaxPiece;        // a piece is 1 + (length byte % MaxPiece) bytes, at most
  os::NetStatus AtEnd;    // what a receive returns once the input is used up
  os::NetStatus NoPiece;  // ... and for a length byte with nothing after it
};

class CInputSocket : public os::ISocket {
 public:
  CInputSocket(const uint8_t* data, size_t size, CInputShape shape, std::string* sent)
      : m_Data(data), m_Size(size), m_Shape(shape), m_Sent(sent) {}
  os::NetStatus Send(std::string_view data, uint32_t) override {
    m_Sent->append(data);
    return os::NetStatus::Ok;
  }
  os::NetStatus Receive(char* buffer, size_t capacity, size_t* received, uint32_t) override {
    *received = 0;
    if (m_At >= m_Size) return m_Shape.AtEnd;
    size_t n = 1 + m_Data[m_At] % m_Shape.MaxPiece;
    ++m_At;
    if (n > m_Size - m_At) n = m_Size - m_At;
    if (n > capacity) n = capacity;
    if (n == 0) return m_Shape.NoPiece;
    for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<char>(m_Data[m_At + i]);
    m_At += n;
    *received = n;
    return os::NetStatus::Ok;
  }
  void ShutdownSend() override {}
  std::string LastError() const override { return "input ended"; }

 private:
  const uint8_t* m_Data;
  size_t m_Size;
  CInputShape m_Shape;
  size_t m_At = 0;
  std::string* m_Sent;
};

class CInputNet : public os::INet {
 public:
  CInputNet(const uint8_t* data, size_t size, CInputShape shape)
      : m_Data(data), m_Size(size), m_Shape(shape) {}
  std::unique_ptr<os::ISocket> Connect(const std::string&, uint16_t, uint32_t,
                                       std::string*) override {
    return std::make_unique<CInputSocket>(m_Data, m_Size, m_Shape, &Sent);
  }
  std::unique_ptr<os::IListener> Listen(const std::string&, uint16_t, std::string*) override {
    return nullptr;
  }
  std::string LocalHostName() override { return "fuzz.invalid"; }
  std::string Sent;  // by every connection, in order

 private:
  const uint8_t* m_Data;
  size_t m_Size;
  CInputShape m_Shape;
};

}  // namespace netfuzz
