#include "os/linux/OpenSslTls.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <chrono>

namespace os {
namespace {

using SteadyClock = std::chrono::steady_clock;

uint32_t Remaining(SteadyClock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  if (left <= 0) return 0;
  return left > 0x7FFFFFFF ? 0x7FFFFFFFu : static_cast<uint32_t>(left);
}

std::string OpenSslErrorText() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "TLS failure";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

bool IsNumericAddress(const std::string& host) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// The TLS records travel through memory buffers to and from the plain
// stream, so every wait is the stream's own bounded one.
class COpenSslSocket : public ISocket {
 public:
  explicit COpenSslSocket(std::unique_ptr<ISocket> stream) : m_Stream(std::move(stream)) {}
  ~COpenSslSocket() override {
    if (m_Ssl) SSL_free(m_Ssl);  // frees both memory buffers too
    if (m_Context) SSL_CTX_free(m_Context);
  }
  COpenSslSocket(const COpenSslSocket&) = delete;
  COpenSslSocket& operator=(const COpenSslSocket&) = delete;

  bool Handshake(const TlsOptions& options, uint32_t timeoutMs, std::string* error) {
    m_Context = SSL_CTX_new(TLS_client_method());
    if (!m_Context) return Fail(error, OpenSslErrorText());
    SSL_CTX_set_min_proto_version(m_Context, TLS1_2_VERSION);
    SSL_CTX_set_verify(m_Context, SSL_VERIFY_PEER, nullptr);
    if (!options.TrustFile.empty()) {
      if (SSL_CTX_load_verify_locations(m_Context, options.TrustFile.c_str(), nullptr) != 1)
        return Fail(error, "cannot read the certificates in " + options.TrustFile);
    } else if (SSL_CTX_set_default_verify_paths(m_Context) != 1) {
      return Fail(error, "cannot read the system's certificates");
    }
    m_Ssl = SSL_new(m_Context);
    if (!m_Ssl) return Fail(error, OpenSslErrorText());
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    if (!in || !out) {
      BIO_free(in);
      BIO_free(out);
      return Fail(error, "out of memory");
    }
    // An empty input buffer means "wait for more", not end of stream.
    BIO_set_mem_eof_return(in, -1);
    SSL_set_bio(m_Ssl, in, out);
    SSL_set_connect_state(m_Ssl);
    m_In = in;
    m_Out = out;
    const std::string& name = options.ServerName;
    if (IsNumericAddress(name)) {
      if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_Ssl), name.c_str()) != 1)
        return Fail(error, "cannot check the certificate against " + name);
    } else {
      if (SSL_set1_host(m_Ssl, name.c_str()) != 1 ||
          SSL_set_tlsext_host_name(m_Ssl, name.c_str()) != 1)
        return Fail(error, "cannot check the certificate against " + name);
    }
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      int rc = SSL_do_handshake(m_Ssl);
      int sslError = rc == 1 ? SSL_ERROR_NONE : SSL_get_error(m_Ssl, rc);
      NetStatus flushed = Flush(deadline);
      if (rc == 1) {
        if (flushed != NetStatus::Ok) return Fail(error, StreamText(flushed));
        return true;
      }
      if (sslError == SSL_ERROR_WANT_READ) {
        if (flushed != NetStatus::Ok) return Fail(error, StreamText(flushed));
        NetStatus filled = Fill(deadline);
        if (filled != NetStatus::Ok) return Fail(error, StreamText(filled));
        continue;
      }
      long verify = SSL_get_verify_result(m_Ssl);
      if (verify != X509_V_OK)
        return Fail(error, std::string("certificate verify failed: ") +
                               X509_verify_cert_error_string(verify));
      return Fail(error, "handshake failed: " + OpenSslErrorText());
    }
  }

  NetStatus Send(std::string_view data, uint32_t timeoutMs) override {
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < data.size()) {
      size_t chunk = data.size() - done;
      if (chunk > 16384) chunk = 16384;
      int rc = SSL_write(m_Ssl, data.data() + done, static_cast<int>(chunk));
      int sslError = rc > 0 ? SSL_ERROR_NONE : SSL_get_error(m_Ssl, rc);
      NetStatus flushed = Flush(deadline);
      if (flushed != NetStatus::Ok) return flushed;
      if (rc > 0) {
        done += static_cast<size_t>(rc);
        continue;
      }
      if (sslError == SSL_ERROR_WANT_READ) {
        NetStatus filled = Fill(deadline);
        if (filled != NetStatus::Ok) return filled;
        continue;
      }
      m_LastError = OpenSslErrorText();
      return NetStatus::Failed;
    }
    return NetStatus::Ok;
  }

  NetStatus Receive(char* buffer, size_t capacity, size_t* received, uint32_t timeoutMs) override {
    *received = 0;
    if (capacity == 0) return NetStatus::Ok;
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    int want = capacity > 0x40000000 ? 0x40000000 : static_cast<int>(capacity);
    for (;;) {
      int rc = SSL_read(m_Ssl, buffer, want);
      if (rc > 0) {
        *received = static_cast<size_t>(rc);
        return NetStatus::Ok;
      }
      int sslError = SSL_get_error(m_Ssl, rc);
      if (sslError == SSL_ERROR_ZERO_RETURN) return NetStatus::Closed;
      // Session tickets and key updates may want to go out first.
      NetStatus flushed = Flush(deadline);
      if (flushed != NetStatus::Ok) return flushed;
      if (sslError != SSL_ERROR_WANT_READ) {
        m_LastError = OpenSslErrorText();
        return NetStatus::Failed;
      }
      NetStatus filled = Fill(deadline);
      if (filled != NetStatus::Ok) return filled;
    }
  }

  void ShutdownSend() override {
    SSL_shutdown(m_Ssl);
    Flush(SteadyClock::now() + std::chrono::milliseconds(1000));
    m_Stream->ShutdownSend();
  }

  std::string LastError() const override {
    return m_LastError.empty() ? m_Stream->LastError() : m_LastError;
  }

 private:
  bool Fail(std::string* error, std::string text) {
    *error = std::move(text);
    return false;
  }

  std::string StreamText(NetStatus status) {
    std::string text = NetStatusName(status);
    std::string detail = m_Stream->LastError();
    return detail.empty() ? text : text + ": " + detail;
  }

  // Sends what OpenSSL has written.
  NetStatus Flush(SteadyClock::time_point deadline) {
    char chunk[16384];
    for (;;) {
      int n = BIO_read(m_Out, chunk, sizeof chunk);
      if (n <= 0) return NetStatus::Ok;
      NetStatus status =
          m_Stream->Send(std::string_view(chunk, static_cast<size_t>(n)), Remaining(deadline));
      if (status != NetStatus::Ok) return status;
    }
  }

  // Hands OpenSSL what arrives next.
  NetStatus Fill(SteadyClock::time_point deadline) {
    char chunk[16384];
    size_t n = 0;
    NetStatus status = m_Stream->Receive(chunk, sizeof chunk, &n, Remaining(deadline));
    if (status != NetStatus::Ok) return status;
    if (BIO_write(m_In, chunk, static_cast<int>(n)) != static_cast<int>(n)) {
      m_LastError = "out of memory";
      return NetStatus::Failed;
    }
    return NetStatus::Ok;
  }

  std::unique_ptr<ISocket> m_Stream;
  SSL_CTX* m_Context = nullptr;
  SSL* m_Ssl = nullptr;
  BIO* m_In = nullptr;
  BIO* m_Out = nullptr;
  std::string m_LastError;
};

}  // namespace

std::unique_ptr<ISocket> COpenSslTls::Connect(std::unique_ptr<ISocket> stream,
                                              const TlsOptions& options, uint32_t timeoutMs,
                                              std::string* error) {
  if (!stream) {
    *error = "no connection";
    return nullptr;
  }
  ERR_clear_error();
  auto socket = std::make_unique<COpenSslSocket>(std::move(stream));
  if (!socket->Handshake(options, timeoutMs, error)) return nullptr;
  return socket;
}

}  // namespace os
