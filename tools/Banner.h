// The web links of the window: the banner, whose link is the first line of
// a small text file downloaded from the maker's web site, and the product
// picture, whose link follows the disk's form factor. A link handed to the
// shell is always a web address: what a downloaded text says is checked
// first, and anything else (a program path, a "file:" or other scheme, a
// share) gives the home page instead.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace os {
class IClock;
class IFileSystem;
class INet;
class ITls;
}  // namespace os

namespace tools {

// The maker's web site and the banner text on it.
constexpr const char* HOME_PAGE = "https://www.tessaly.example/";
constexpr const char* BANNER_TEXT_URL = "http://www.tessaly.example/download/ad_banner.txt";
// The banner text is one line; a few KiB are plenty, more is refused.
constexpr size_t BANNER_MAX_BYTES = 4096;
// The whole download, connection included.
constexpr uint32_t BANNER_TIMEOUT_MS = 5000;
// Longest link handed to the shell.
constexpr size_t MAX_WEB_LINK = 2048;

// True when `link` may be opened: "http://" or "https://" (lower case, as
// banner links are lowered), a host, at most MAX_WEB_LINK bytes, and only
// the characters a URL is made of (no blank, quote, backslash, control or
// non-ASCII byte, which could reach the browser's command line).
bool IsOpenableWebLink(std::string_view link);

// The first line of a banner text in lower case: a UTF-8 byte-order mark
// and the blanks around it dropped, the line ending at CR, LF or the end.
std::string BannerFirstLine(std::string_view text);

// The link a banner download leads to: the first line of the text when it
// is openable, else the home page (also when nothing was downloaded).
std::string BannerLink(const std::optional<std::string>& text);

// The product page of a form factor code (the maker's disks), else the
// home page.
std::string ProductLink(int32_t formFactorCode);

// The banner file beside the program: "TslResource\\downloads\\ad_banner.txt".
std::string BannerFilePath(const std::string& exeFolder, char separator);

struct BannerResult {
  bool Downloaded = false;  // a 200 reply within the cap arrived
  std::string Link;         // what the click opens
  std::string Error;        // why there was no download (for the log)
};
// Downloads the banner text from `url`, keeps it in `localPath` (written
// whole to a temporary file and renamed, so a shorter text never keeps the
// tail of an older one) and chooses the link. Only a reply with status 200
// counts. Blocks for at most about BANNER_TIMEOUT_MS: run it off the
// window's thread.
BannerResult FetchBanner(os::INet& net, os::ITls* tls, os::IClock& clock, os::IFileSystem& files,
                         const std::string& url, const std::string& localPath,
                         const std::atomic<bool>* cancel = nullptr);

}  // namespace tools
