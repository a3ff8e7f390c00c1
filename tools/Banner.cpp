#include "tools/Banner.h"

#include <vector>

#include "base/DebugLog.h"
#include "os/FileSystem.h"
#include "tools/HttpGet.h"

namespace tools {
namespace {

bool UrlCharacter(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':  // unreserved
    case ':':
    case '/':
    case '?':
    case '#':
    case '[':
    case ']':
    case '@':  // general delimiters
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':  // sub-delimiters
    case '%':
      return true;
    default:
      return false;
  }
}

}  // namespace

bool IsOpenableWebLink(std::string_view link) {
  if (link.empty() || link.size() > MAX_WEB_LINK) return false;
  for (char c : link) {
    if (!UrlCharacter(c)) return false;
  }
  size_t hostStart = 0;
  if (link.rfind("http://", 0) == 0) {
    hostStart = 7;
  } else if (link.rfind("https://", 0) == 0) {
    hostStart = 8;
  } else {
    return false;
  }
  const std::string_view rest = link.substr(hostStart);
  const size_t end = rest.find_first_of("/?#");
  const std::string_view authority = rest.substr(0, end);
  // A host must be there; a user part ("http://a@b") hides the real host
  // from the reader, so it is not accepted either.
  if (authority.empty() || authority.front() == ':' ||
      authority.find('@') != std::string_view::npos) {
    return false;
  }
  return ParseHttpUrl(link).has_value();
}

std::string BannerFirstLine(std::string_view text) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const size_t end = text.find_first_of("\r\n");
  std::string_view line = text.substr(0, end);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  std::string lower(line);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string BannerLink(const std::optional<std::string>& text) {
  if (!text) return HOME_PAGE;
  std::string line = BannerFirstLine(*text);
  return IsOpenableWebLink(line) ? line : std::string(HOME_PAGE);
}

std::string ProductLink(int32_t formFactorCode) {
  const char* path = nullptr;
  switch (formFactorCode) {
    case 1:
      path = "products/sata_module";
      break;
    case 2:
      path = "products/msata";
      break;
    case 3:
      path = "products/cf_card";
      break;
    case 4:
    case 13:
      path = "products/m.2_sata";
      break;
    case 6:
      path = "products/cfast";
      break;
    case 7:
      path = "products/2.5%E2%80%9D_ssd";
      break;
    case 8:
      path = "products/slim_sata";
      break;
    case 9:
      path = "products/pcie_module";
      break;
    default:
      return HOME_PAGE;
  }
  return std::string(HOME_PAGE) + path;
}

std::string BannerFilePath(const std::string& exeFolder, char separator) {
  std::string folder = exeFolder;
  if (!folder.empty() && folder.back() != separator) folder.push_back(separator);
  return folder + "TslResource" + separator + "downloads" + separator + "ad_banner.txt";
}

BannerResult FetchBanner(os::INet& net, os::ITls* tls, os::IClock& clock, os::IFileSystem& files,
                         const std::string& url, const std::string& localPath,
                         const std::atomic<bool>* cancel) {
  BannerResult result;
  const HttpGetResult got =
      HttpGet(net, tls, clock, url, BANNER_MAX_BYTES, BANNER_TIMEOUT_MS, cancel);
  if (!got.Ok) {
    result.Error = got.Error;
  } else if (got.Status != 200) {
    result.Error = "status " + std::to_string(got.Status);
  }
  if (!result.Error.empty()) {
    result.Link = BannerLink(std::nullopt);
    return result;
  }
  result.Downloaded = true;
  result.Link = BannerLink(got.Body);
  if (!localPath.empty()) {
    const size_t cut = localPath.find_last_of("\\/");
    const std::string folder = cut == std::string::npos ? std::string() : localPath.substr(0, cut);
    if (!folder.empty() && !files.Exists(folder)) files.CreateDirectories(folder);
    if (!files.WriteFileAtomic(localPath, std::vector<uint8_t>(got.Body.begin(), got.Body.end()))) {
      base::DebugLogF("Banner: %s not written: %s", localPath.c_str(),
                      files.LastErrorText().c_str());
    }
  }
  return result;
}

}  // namespace tools
