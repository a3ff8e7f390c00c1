// Texts that must stay on one line: mail headers, INI values, environment
// variables, log lines. Disk texts (model, serial) are untrusted, and the
// drive-letter list holds a line feed between letters.
#pragma once

#include <string>
#include <string_view>

namespace monitor {

// `text` with every run of line breaks and tabs turned into one blank,
// other control characters (C0, DEL) removed and blanks at both ends
// trimmed. UTF-8 sequences pass unchanged.
std::string OneLine(std::string_view text);

// A field of a comma-separated status line: OneLine, with every comma
// turned into a blank so the fields after it keep their places.
std::string StatusField(std::string_view text);

}  // namespace monitor
