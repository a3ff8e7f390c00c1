#include "os/WindowsCommandLine.h"

namespace os {

std::string QuoteWindowsArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    return argument;  // backslashes are literal when no quote follows them
  }
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      // Each backslash before a quote is doubled, and the quote escaped.
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out.push_back(c);
  }
  // Backslashes before the closing quote are doubled so it stays a quote.
  out.append(backslashes * 2, '\\');
  out.push_back('"');
  return out;
}

std::optional<std::string> BuildWindowsCommandLine(const std::string& program,
                                                   const std::vector<std::string>& arguments) {
  if (program.find_first_of(std::string("\"\0", 2)) != std::string::npos) return std::nullopt;
  std::string line = "\"" + program + "\"";
  for (const std::string& argument : arguments) {
    if (argument.find('\0') != std::string::npos) return std::nullopt;
    line += ' ';
    line += QuoteWindowsArgument(argument);
  }
  return line;
}

}  // namespace os
