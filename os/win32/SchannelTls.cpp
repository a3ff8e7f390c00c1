#include "os/win32/SchannelTls.h"

#define SECURITY_WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come first.
#include <windows.h>

#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "os/win32/WinText.h"

namespace os {
namespace {

using SteadyClock = std::chrono::steady_clock;

uint32_t Remaining(SteadyClock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  if (left <= 0) return 0;
  return left > 0x7FFFFFFF ? 0x7FFFFFFFu : static_cast<uint32_t>(left);
}

std::string StatusText(SECURITY_STATUS status) {
  char text[32];
  snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
  return text;
}

// A certificate store of the PEM certificates in `path`; null when the file
// cannot be read or holds none.
HCERTSTORE LoadTrustFile(const std::string& path) {
  std::ifstream in(std::filesystem::path(Utf8ToWide(path)), std::ios::binary);
  if (!in) return nullptr;
  std::stringstream s;
  s << in.rdbuf();
  std::string pem = s.str();
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (!store) return nullptr;
  const std::string begin = "-----BEGIN CERTIFICATE-----";
  const std::string end = "-----END CERTIFICATE-----";
  int added = 0;
  for (size_t at = pem.find(begin); at != std::string::npos; at = pem.find(begin, at)) {
    size_t stop = pem.find(end, at);
    if (stop == std::string::npos) break;
    std::string block = pem.substr(at, stop + end.size() - at);
    at = stop + end.size();
    DWORD size = 0;
    if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
      continue;
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                              CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
      continue;
    if (CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                         CERT_STORE_ADD_ALWAYS, nullptr))
      ++added;
  }
  if (added == 0) {
    CertCloseStore(store, 0);
    return nullptr;
  }
  return store;
}

// The bytes of a numeric address (four for IPv4, sixteen for IPv6); empty
// for a host name.
std::vector<BYTE> NumericAddress(const std::string& host) {
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
    const BYTE* b = reinterpret_cast<const BYTE*>(&v4);
    return std::vector<BYTE>(b, b + sizeof v4);
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
    const BYTE* b = reinterpret_cast<const BYTE*>(&v6);
    return std::vector<BYTE>(b, b + sizeof v6);
  }
  return {};
}

// Whether the certificate names `address` in an IP entry of its subject
// alternative names.
bool CertificateNamesAddress(PCCERT_CONTEXT cert, const std::vector<BYTE>& address) {
  const CERT_INFO* info = cert->pCertInfo;
  PCERT_EXTENSION ext =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  if (!ext) return false;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData,
                           ext->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size) ||
      !names)
    return false;
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& e = names->rgAltEntry[i];
    found = e.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && e.IPAddress.cbData == address.size() &&
            std::equal(address.begin(), address.end(), e.IPAddress.pbData);
  }
  LocalFree(names);
  return found;
}

class CSchannelSocket : public ISocket {
 public:
  explicit CSchannelSocket(std::unique_ptr<ISocket> stream) : m_Stream(std::move(stream)) {
    SecInvalidateHandle(&m_Credentials);
    SecInvalidateHandle(&m_Context);
  }
  ~CSchannelSocket() override {
    if (SecIsValidHandle(&m_Context)) DeleteSecurityContext(&m_Context);
    if (SecIsValidHandle(&m_Credentials)) FreeCredentialsHandle(&m_Credentials);
  }
  CSchannelSocket(const CSchannelSocket&) = delete;
  CSchannelSocket& operator=(const CSchannelSocket&) = delete;

  bool Handshake(const TlsOptions& options, uint32_t timeoutMs, std::string* error) {
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    SCHANNEL_CRED credentials{};
    credentials.dwVersion = SCHANNEL_CRED_VERSION;
    credentials.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    // We check the certificate ourselves after the handshake, the same way
    // for the system's roots and for a trust file.
    credentials.dwFlags =
        SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION | SCH_USE_STRONG_CRYPTO;
    SECURITY_STATUS status =
        AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                  nullptr, &credentials, nullptr, nullptr, &m_Credentials, nullptr);
    if (status != SEC_E_OK) {
      SecInvalidateHandle(&m_Credentials);
      *error = "no TLS credentials (" + StatusText(status) + ")";
      return false;
    }
    m_Target = Utf8ToWide(options.ServerName);
    const DWORD flags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                        ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;
    bool first = true;
    for (;;) {
      SecBuffer in[2] = {};
      in[0].BufferType = SECBUFFER_TOKEN;
      in[0].pvBuffer = m_Received.data();
      in[0].cbBuffer = static_cast<unsigned long>(m_Received.size());
      in[1].BufferType = SECBUFFER_EMPTY;
      SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
      SecBuffer out[1] = {};
      out[0].BufferType = SECBUFFER_TOKEN;
      SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
      unsigned long outFlags = 0;
      status = InitializeSecurityContextW(
          &m_Credentials, first ? nullptr : &m_Context, m_Target.data(), flags, 0, 0,
          first ? nullptr : &inDesc, 0, first ? &m_Context : nullptr, &outDesc, &outFlags, nullptr);
      first = false;
      if (status == SEC_E_INCOMPLETE_MESSAGE) {
        if (!ReceiveMore(deadline, error)) return false;
        continue;
      }
      if (out[0].pvBuffer && out[0].cbBuffer > 0) {
        NetStatus sent = m_Stream->Send(
            std::string_view(static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer),
            Remaining(deadline));
        FreeContextBuffer(out[0].pvBuffer);
        if (sent != NetStatus::Ok) {
          *error = std::string("handshake: ") + NetStatusName(sent);
          return false;
        }
      } else if (out[0].pvBuffer) {
        FreeContextBuffer(out[0].pvBuffer);
      }
      if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
        *error = "handshake failed (" + StatusText(status) + ")";
        return false;
      }
      // What the call did not consume stays for the next one.
      if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0 &&
          in[1].cbBuffer <= m_Received.size())
        m_Received.erase(m_Received.begin(),
                         m_Received.end() - static_cast<std::ptrdiff_t>(in[1].cbBuffer));
      else
        m_Received.clear();
      if (status == SEC_E_OK) break;
      if (m_Received.empty() && !ReceiveMore(deadline, error)) return false;
    }
    if (!VerifyCertificate(options, error)) return false;
    status = QueryContextAttributesW(&m_Context, SECPKG_ATTR_STREAM_SIZES, &m_Sizes);
    if (status != SEC_E_OK) {
      *error = "no stream sizes (" + StatusText(status) + ")";
      return false;
    }
    return true;
  }

  NetStatus Send(std::string_view data, uint32_t timeoutMs) override {
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<char> record;
    for (size_t done = 0; done < data.size();) {
      size_t chunk = data.size() - done;
      if (chunk > m_Sizes.cbMaximumMessage) chunk = m_Sizes.cbMaximumMessage;
      record.assign(m_Sizes.cbHeader + chunk + m_Sizes.cbTrailer, 0);
      std::copy(data.begin() + static_cast<std::ptrdiff_t>(done),
                data.begin() + static_cast<std::ptrdiff_t>(done + chunk),
                record.begin() + m_Sizes.cbHeader);
      SecBuffer buffers[4] = {};
      buffers[0] = {m_Sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()};
      buffers[1] = {static_cast<unsigned long>(chunk), SECBUFFER_DATA,
                    record.data() + m_Sizes.cbHeader};
      buffers[2] = {m_Sizes.cbTrailer, SECBUFFER_STREAM_TRAILER,
                    record.data() + m_Sizes.cbHeader + chunk};
      buffers[3].BufferType = SECBUFFER_EMPTY;
      SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
      SECURITY_STATUS status = EncryptMessage(&m_Context, 0, &desc, 0);
      if (status != SEC_E_OK) {
        m_LastError = "encryption failed (" + StatusText(status) + ")";
        return NetStatus::Failed;
      }
      size_t size = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
      NetStatus sent = m_Stream->Send(std::string_view(record.data(), size), Remaining(deadline));
      if (sent != NetStatus::Ok) return sent;
      done += chunk;
    }
    return NetStatus::Ok;
  }

  NetStatus Receive(char* buffer, size_t capacity, size_t* received, uint32_t timeoutMs) override {
    *received = 0;
    if (capacity == 0) return NetStatus::Ok;
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_Plain.empty()) {
      if (m_Ended) return NetStatus::Closed;
      if (!m_Received.empty()) {
        NetStatus decrypted = Decrypt();
        if (decrypted == NetStatus::Ok) continue;
        if (decrypted != NetStatus::TimedOut) return decrypted;  // Closed or Failed
      }
      // TimedOut from Decrypt: an incomplete record, more bytes needed.
      char chunk[16384];
      size_t n = 0;
      NetStatus status = m_Stream->Receive(chunk, sizeof chunk, &n, Remaining(deadline));
      if (status != NetStatus::Ok) return status;
      m_Received.insert(m_Received.end(), chunk, chunk + n);
    }
    size_t n = m_Plain.size() < capacity ? m_Plain.size() : capacity;
    std::copy(m_Plain.begin(), m_Plain.begin() + static_cast<std::ptrdiff_t>(n), buffer);
    m_Plain.erase(m_Plain.begin(), m_Plain.begin() + static_cast<std::ptrdiff_t>(n));
    *received = n;
    return NetStatus::Ok;
  }

  void ShutdownSend() override {
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer token{sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc desc{SECBUFFER_VERSION, 1, &token};
    if (ApplyControlToken(&m_Context, &desc) == SEC_E_OK) {
      SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
      SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
      unsigned long outFlags = 0;
      const DWORD flags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                          ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;
      if (InitializeSecurityContextW(&m_Credentials, &m_Context, m_Target.data(), flags, 0, 0,
                                     nullptr, 0, nullptr, &outDesc, &outFlags,
                                     nullptr) == SEC_E_OK &&
          out.pvBuffer) {
        m_Stream->Send(std::string_view(static_cast<const char*>(out.pvBuffer), out.cbBuffer),
                       1000);
      }
      if (out.pvBuffer) FreeContextBuffer(out.pvBuffer);
    }
    m_Stream->ShutdownSend();
  }

  std::string LastError() const override {
    return m_LastError.empty() ? m_Stream->LastError() : m_LastError;
  }

 private:
  bool ReceiveMore(SteadyClock::time_point deadline, std::string* error) {
    char chunk[16384];
    size_t n = 0;
    NetStatus status = m_Stream->Receive(chunk, sizeof chunk, &n, Remaining(deadline));
    if (status != NetStatus::Ok) {
      *error = std::string("handshake: ") + NetStatusName(status);
      return false;
    }
    m_Received.insert(m_Received.end(), chunk, chunk + n);
    return true;
  }

  // One record of m_Received into m_Plain. TimedOut stands for "incomplete
  // record: receive more".
  NetStatus Decrypt() {
    SecBuffer buffers[4] = {};
    buffers[0] = {static_cast<unsigned long>(m_Received.size()), SECBUFFER_DATA, m_Received.data()};
    buffers[1].BufferType = SECBUFFER_EMPTY;
    buffers[2].BufferType = SECBUFFER_EMPTY;
    buffers[3].BufferType = SECBUFFER_EMPTY;
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = DecryptMessage(&m_Context, &desc, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return NetStatus::TimedOut;
    if (status == SEC_I_CONTEXT_EXPIRED) {
      m_Ended = true;
      m_Received.clear();
      return NetStatus::Closed;
    }
    if (status != SEC_E_OK) {
      m_LastError = "decryption failed (" + StatusText(status) + ")";
      return NetStatus::Failed;
    }
    std::vector<char> extra;
    for (SecBuffer& b : buffers) {
      if (b.BufferType == SECBUFFER_DATA && b.pvBuffer) {
        const char* p = static_cast<const char*>(b.pvBuffer);
        m_Plain.insert(m_Plain.end(), p, p + b.cbBuffer);
      } else if (b.BufferType == SECBUFFER_EXTRA && b.pvBuffer) {
        const char* p = static_cast<const char*>(b.pvBuffer);
        extra.assign(p, p + b.cbBuffer);
      }
    }
    m_Received = std::move(extra);
    return NetStatus::Ok;
  }

  bool VerifyCertificate(const TlsOptions& options, std::string* error) {
    PCCERT_CONTEXT server = nullptr;
    if (QueryContextAttributesW(&m_Context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &server) != SEC_E_OK ||
        !server) {
      *error = "the server sent no certificate";
      return false;
    }
    HCERTSTORE trust = nullptr;
    if (!options.TrustFile.empty()) {
      trust = LoadTrustFile(options.TrustFile);
      if (!trust) {
        CertFreeCertificateContext(server);
        *error = "cannot read the certificates in " + options.TrustFile;
        return false;
      }
    }
    // Intermediate certificates come with the server's; a trust file's
    // certificates may complete the chain.
    HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
    if (extra) {
      CertAddStoreToCollection(extra, server->hCertStore, 0, 0);
      if (trust) CertAddStoreToCollection(extra, trust, 0, 0);
    }
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    std::string why;
    if (!CertGetCertificateChain(nullptr, server, nullptr, extra, &para, 0, nullptr, &chain) ||
        !chain) {
      why = "no certificate chain";
    } else {
      HTTPSPolicyCallbackData ssl{};
      ssl.cbSize = sizeof ssl;
      ssl.dwAuthType = AUTHTYPE_SERVER;
      ssl.pwszServerName = m_Target.data();
      // SECURITY_FLAG_IGNORE_UNKNOWN_CA (wininet.h); the root is checked
      // against the trust file below.
      if (trust) ssl.fdwChecks = 0x00000100;
      // A numeric address is looked for in the certificate's IP entries
      // below: the system's policy matches the name against DNS entries
      // only on some systems (Wine's), so its name check
      // (SECURITY_FLAG_IGNORE_CERT_CN_INVALID) is left out for it.
      const std::vector<BYTE> address = NumericAddress(options.ServerName);
      if (!address.empty()) ssl.fdwChecks |= 0x00001000;
      CERT_CHAIN_POLICY_PARA policy{};
      policy.cbSize = sizeof policy;
      policy.pvExtraPolicyPara = &ssl;
      CERT_CHAIN_POLICY_STATUS result{};
      result.cbSize = sizeof result;
      if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result)) {
        why = "the certificate could not be checked";
      } else if (result.dwError != 0) {
        why = "certificate verify failed (" + StatusText(static_cast<LONG>(result.dwError)) + ")";
      } else if (!address.empty() && !CertificateNamesAddress(server, address)) {
        why = "certificate verify failed: not issued to " + options.ServerName;
      } else if (trust) {
        // The unknown authority was let through above only for this check:
        // the chain must end in a certificate of the trust file, and have no
        // fault but that its root is not one of the system's.
        const CERT_SIMPLE_CHAIN* simple = chain->cChain > 0 ? chain->rgpChain[0] : nullptr;
        PCCERT_CONTEXT root = simple && simple->cElement > 0
                                  ? simple->rgpElement[simple->cElement - 1]->pCertContext
                                  : nullptr;
        DWORD faults = chain->TrustStatus.dwErrorStatus &
                       ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT |
                                           CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                                           CERT_TRUST_IS_OFFLINE_REVOCATION);
        PCCERT_CONTEXT found = root ? CertFindCertificateInStore(trust, X509_ASN_ENCODING, 0,
                                                                 CERT_FIND_EXISTING, root, nullptr)
                                    : nullptr;
        if (!found || faults != 0)
          why = "certificate verify failed: not issued by a certificate of " + options.TrustFile;
        if (found) CertFreeCertificateContext(found);
      }
    }
    if (chain) CertFreeCertificateChain(chain);
    if (extra) CertCloseStore(extra, 0);
    if (trust) CertCloseStore(trust, 0);
    CertFreeCertificateContext(server);
    if (!why.empty()) {
      *error = why;
      return false;
    }
    return true;
  }

  std::unique_ptr<ISocket> m_Stream;
  CredHandle m_Credentials;
  CtxtHandle m_Context;
  std::wstring m_Target;
  SecPkgContext_StreamSizes m_Sizes{};
  std::vector<char> m_Received;  // encrypted bytes not yet used
  std::vector<char> m_Plain;     // decrypted bytes not yet handed out
  bool m_Ended = false;
  std::string m_LastError;
};

}  // namespace

std::unique_ptr<ISocket> CSchannelTls::Connect(std::unique_ptr<ISocket> stream,
                                               const TlsOptions& options, uint32_t timeoutMs,
                                               std::string* error) {
  if (!stream) {
    *error = "no connection";
    return nullptr;
  }
  auto socket = std::make_unique<CSchannelSocket>(std::move(stream));
  if (!socket->Handshake(options, timeoutMs, error)) return nullptr;
  return socket;
}

}  // namespace os
