#include "os/win32/Win32Secrets.h"

#include <windows.h>

#include <wincrypt.h>

#include <cstring>

namespace os {
namespace {

// Bytes mixed into the protection: a blob of another program of this user
// does not unprotect as ours by accident.
constexpr char ENTROPY[] = "Stavrion mail password";

DATA_BLOB Entropy() {
  DATA_BLOB e;
  e.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(ENTROPY));
  e.cbData = static_cast<DWORD>(sizeof ENTROPY - 1);
  return e;
}

// Owns what the protection calls allocate.
struct LocalBlob {
  DATA_BLOB Blob{0, nullptr};
  ~LocalBlob() {
    if (Blob.pbData != nullptr) {
      SecureZeroMemory(Blob.pbData, Blob.cbData);
      LocalFree(Blob.pbData);
    }
  }
};

}  // namespace

std::optional<std::vector<uint8_t>> CWin32SecretProtector::Protect(std::string_view plain) {
  if (plain.size() > 0xFFFFu) return std::nullopt;
  std::vector<BYTE> in(plain.begin(), plain.end());
  DATA_BLOB input{static_cast<DWORD>(in.size()), in.empty() ? nullptr : in.data()};
  DATA_BLOB entropy = Entropy();
  LocalBlob out;
  const BOOL ok = CryptProtectData(&input, L"Stavrion", &entropy, nullptr, nullptr,
                                   CRYPTPROTECT_UI_FORBIDDEN, &out.Blob);
  SecureZeroMemory(in.data(), in.size());
  if (!ok || out.Blob.pbData == nullptr) return std::nullopt;
  return std::vector<uint8_t>(out.Blob.pbData, out.Blob.pbData + out.Blob.cbData);
}

std::optional<std::string> CWin32SecretProtector::Unprotect(const std::vector<uint8_t>& blob) {
  if (blob.empty() || blob.size() > 0xFFFFu) return std::nullopt;
  std::vector<BYTE> in(blob.begin(), blob.end());
  DATA_BLOB input{static_cast<DWORD>(in.size()), in.data()};
  DATA_BLOB entropy = Entropy();
  LocalBlob out;
  if (!CryptUnprotectData(&input, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out.Blob)) {
    return std::nullopt;
  }
  if (out.Blob.pbData == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(out.Blob.pbData), out.Blob.cbData);
}

}  // namespace os
