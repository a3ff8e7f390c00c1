// The data protection API for the mail password: what is protected comes
// back for the same user, the stored form does not hold the text, and bytes
// that were not protected (or were damaged) are refused.
#include <gtest/gtest.h>

#include "os/win32/Win32Secrets.h"

namespace {

TEST(Win32Secrets, ProtectsForTheUserAndRefusesForeignBytes) {
  os::CWin32SecretProtector secrets;
  for (const std::string plain :
       {std::string("pw"), std::string("p\xC3\xA4ss w=rd;[x]"), std::string(300, 'z')}) {
    const auto blob = secrets.Protect(plain);
    ASSERT_TRUE(blob.has_value()) << plain;
    const std::string bytes(blob->begin(), blob->end());
    EXPECT_EQ(bytes.find(plain), std::string::npos);
    EXPECT_EQ(secrets.Unprotect(*blob), plain);
    std::vector<uint8_t> damaged = *blob;
    damaged[damaged.size() / 2] ^= 0x55;
    EXPECT_FALSE(secrets.Unprotect(damaged).has_value());
  }
  EXPECT_FALSE(secrets.Unprotect({1, 2, 3, 4}).has_value());
  EXPECT_FALSE(secrets.Unprotect({}).has_value());
}

}  // namespace
