// Building a Windows command line from separate arguments. Windows hands a
// program one string; the program's runtime (CommandLineToArgvW, the C
// runtime's argv) splits it again. The quoting here makes that split give
// back exactly the arguments we were given, whatever they hold: blanks,
// quotes, backslashes before quotes, trailing backslashes. Arguments may
// come from files or the user, so nothing in them may spill into another
// argument.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace os {

// One argument, quoted only when it must be (empty, or holding a blank, tab,
// line break or '"').
std::string QuoteWindowsArgument(const std::string& argument);

// The program path in double quotes, then each argument, separated by one
// blank. The program part is split by other rules (no escapes: it runs to
// the next '"'), so a path holding '"' cannot be passed and gives nullopt;
// so does any string holding a NUL, which would cut the line short.
std::optional<std::string> BuildWindowsCommandLine(const std::string& program,
                                                   const std::vector<std::string>& arguments);

}  // namespace os
