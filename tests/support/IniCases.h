// One table of private-profile cases: file text, one operation, the result.
// The same table runs against our own INI engine (tests/IniProfileTest.cpp)
// and against the real GetPrivateProfileString/Int and
// WritePrivateProfileString calls on Windows, so every case here is one
// whose Windows answer is known. Behaviour only our engine promises (UTF-8
// with a byte-order mark, Latin-1 bytes, refused line breaks, huge and
// binary files) is tested beside the table, not in it.
//
// Strings are UTF-8. File says how Content is stored: as its bytes, as
// UTF-16LE with a byte-order mark (Utf16LeWithBom below), or not at all.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "os/Profile.h"

namespace testutil {

enum class IniStore { Bytes, Utf16, NoFile };

enum class IniOp {
  GetString,      // GetString(Section, Key, Argument, Capacity)      -> Expected
  GetInt,         // GetInt(Section, Key, IntFallback)                 -> Expected as "%d"
  Keys,           // Keys(Section)                                     -> names joined by '|'
  Write,          // WriteString(Section, Key, Argument), then GetString(ReadSection,
                  // ReadKey, "<none>")                                 -> Expected
  WriteKeys,      // WriteString(Section, Key, Argument), then Keys(ReadSection)
  DeleteKey,      // DeleteKey(Section, Key), then GetString(ReadSection, ReadKey, "<none>")
  DeleteSection,  // DeleteSection(Section), then GetString(ReadSection, ReadKey, "<none>")
};

struct IniCase {
  std::string Name;
  IniStore File;
  std::string Content;
  IniOp Op;
  std::string Section;
  std::string Key;
  std::string Argument;  // fallback of GetString, value of Write
  int32_t IntFallback;
  uint32_t Capacity;
  std::string ReadSection;  // empty: Section
  std::string ReadKey;      // empty: Key
  std::string Expected;
};

// The bytes of a UTF-8 text as UTF-16LE with a byte-order mark.
inline std::vector<uint8_t> Utf16LeWithBom(const std::string& utf8) {
  std::vector<uint8_t> out = {0xFF, 0xFE};
  auto put = [&out](uint32_t u) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  };
  for (size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    uint32_t cp = c;
    size_t n = 1;
    if (c >= 0xF0) {
      cp = c & 0x07u;
      n = 4;
    } else if (c >= 0xE0) {
      cp = c & 0x0Fu;
      n = 3;
    } else if (c >= 0xC0) {
      cp = c & 0x1Fu;
      n = 2;
    }
    for (size_t k = 1; k < n && i + k < utf8.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

#define INI_S(name, content, section, key, fallback, expected)                                \
  {                                                                                           \
    name, IniStore::Bytes, content, IniOp::GetString, section, key, fallback, 0, 256, "", "", \
        expected                                                                              \
  }
#define INI_I(name, content, section, key, fallback, expected)                              \
  {                                                                                         \
    name, IniStore::Bytes, content, IniOp::GetInt, section, key, "", fallback, 256, "", "", \
        expected                                                                            \
  }
#define INI_NOFILE IniStore::NoFile, ""

inline const std::vector<IniCase>& IniCases() {
  static const std::vector<IniCase> cases = {
      // Finding sections and keys.
      INI_S("Plain", "[Setting]\r\nAutoRefresh=3\r\n", "Setting", "AutoRefresh", "d", "3"),
      INI_S("SectionAndKeyIgnoreCase", "[setting]\r\nautorefresh=3\r\n", "SETTING", "AutoRefresh",
            "d", "3"),
      INI_S("MissingKeyGivesFallback", "[Setting]\r\nA=1\r\n", "Setting", "B", "dflt", "dflt"),
      INI_S("MissingSectionGivesFallback", "[Setting]\r\nA=1\r\n", "Other", "A", "dflt", "dflt"),
      {"MissingFileGivesFallback", INI_NOFILE, IniOp::GetString, "Setting", "A", "dflt", 0, 256, "",
       "", "dflt"},
      INI_S("EmptyFileGivesFallback", "", "Setting", "A", "dflt", "dflt"),
      INI_S("KeyOfAnotherSectionNotSeen", "[A]\r\nK=1\r\n[B]\r\nJ=2\r\n", "B", "K", "dflt", "dflt"),
      INI_S("SecondSectionFound", "[A]\r\nK=1\r\n[B]\r\nK=2\r\n", "B", "K", "dflt", "2"),
      INI_S("FirstOfTwoKeysWins", "[S]\r\nK=1\r\nK=2\r\n", "S", "K", "dflt", "1"),
      INI_S("CommentIsNoKey", "[S]\r\n;K=5\r\n", "S", "K", "dflt", "dflt"),
      INI_S("LfLineEnds", "[S]\nA=1\nB=2\n", "S", "B", "dflt", "2"),
      INI_S("NoFinalLineEnd", "[S]\r\nA=1\r\nB=2", "S", "B", "dflt", "2"),
      INI_S("BlankLinesBetween", "\r\n[S]\r\n\r\nA=1\r\n\r\n", "S", "A", "dflt", "1"),

      // Values.
      INI_S("BlanksAroundNameAndValueTrimmed", "[S]\r\n  Key  =   two words   \r\n", "S", "Key",
            "d", "two words"),
      INI_S("TabsTrimmed", "[S]\r\nKey\t=\tv\t\r\n", "S", "Key", "d", "v"),
      INI_S("EmptyValueIsNotFallback", "[S]\r\nKey=\r\n", "S", "Key", "dflt", ""),
      INI_S("EqualsInValueKept", "[S]\r\nKey=a=b\r\n", "S", "Key", "d", "a=b"),
      INI_S("DoubleQuotesRemoved", "[S]\r\nKey=\"quoted value\"\r\n", "S", "Key", "d",
            "quoted value"),
      INI_S("SingleQuotesRemoved", "[S]\r\nKey='x'\r\n", "S", "Key", "d", "x"),
      INI_S("QuotesKeepBlanks", "[S]\r\nKey=\" a \"\r\n", "S", "Key", "d", " a "),
      INI_S("MismatchedQuotesKept", "[S]\r\nKey=\"abc'\r\n", "S", "Key", "d", "\"abc'"),
      INI_S("OpeningQuoteOnlyKept", "[S]\r\nKey=\"abc\r\n", "S", "Key", "d", "\"abc"),
      INI_S("InnerQuotesKept", "[S]\r\nKey=a\"b\"c\r\n", "S", "Key", "d", "a\"b\"c"),
      INI_S("FallbackTrailingBlanksDropped", "[S]\r\n", "S", "Key", "abc  ", "abc"),
      {"LongValueCutTo255", IniStore::Bytes, "[S]\r\nK=" + std::string(300, 'x') + "\r\n",
       IniOp::GetString, "S", "K", "d", 0, 256, "", "", std::string(255, 'x')},
      {"SmallBufferCut", IniStore::Bytes, "[S]\r\nK=0123456789abc\r\n", IniOp::GetString, "S", "K",
       "d", 0, 10, "", "", "012345678"},

      // Numbers.
      INI_I("Int", "[S]\r\nK=42\r\n", "S", "K", 7, "42"),
      INI_I("IntNegative", "[S]\r\nK=-7\r\n", "S", "K", 3, "-7"),
      INI_I("IntPlusSign", "[S]\r\nK=+8\r\n", "S", "K", 3, "8"),
      INI_I("IntLeadingDigitsOnly", "[S]\r\nK=12abc\r\n", "S", "K", 3, "12"),
      INI_I("IntNotANumberIsZero", "[S]\r\nK=abc\r\n", "S", "K", 3, "0"),
      INI_I("IntHexPrefix", "[S]\r\nK=0x10\r\n", "S", "K", 3, "16"),
      INI_I("IntHexDigitsEitherCase", "[S]\r\nK=0xfF\r\n", "S", "K", 3, "255"),
      INI_I("IntHexStopsAtNonDigit", "[S]\r\nK=0x1g\r\n", "S", "K", 3, "1"),
      INI_I("IntHexNegative", "[S]\r\nK=-0x10\r\n", "S", "K", 3, "-16"),
      INI_I("IntUpperCaseXIsNoPrefix", "[S]\r\nK=0X10\r\n", "S", "K", 3, "0"),
      INI_I("IntOctalPrefix", "[S]\r\nK=0o17\r\n", "S", "K", 3, "15"),
      INI_I("IntBinaryPrefix", "[S]\r\nK=0b101\r\n", "S", "K", 3, "5"),
      INI_I("IntLeadingZeroIsDecimal", "[S]\r\nK=010\r\n", "S", "K", 3, "10"),
      INI_I("IntPrefixAloneIsZero", "[S]\r\nK=0x\r\n", "S", "K", 3, "0"),
      INI_I("IntBlanksTrimmed", "[S]\r\nK =  5  \r\n", "S", "K", 3, "5"),
      INI_I("IntMissingKey", "[S]\r\nJ=5\r\n", "S", "K", 30, "30"),
      {"IntMissingFile", INI_NOFILE, IniOp::GetInt, "S", "K", "", -1, 256, "", "", "-1"},

      // Key lists.
      {"KeysInFileOrder", IniStore::Bytes, "[S]\r\nB=1\r\na=2\r\n[T]\r\nC=3\r\n", IniOp::Keys, "S",
       "", "", 0, 256, "", "", "B|a"},
      {"KeysOfMissingSection", IniStore::Bytes, "[S]\r\nB=1\r\n", IniOp::Keys, "T", "", "", 0, 256,
       "", "", ""},

      // Unicode files.
      {"Utf16Read", IniStore::Utf16,
       "[Setting]\r\nLanguage=Fran\xC3\xA7"
       "ais\r\n",
       IniOp::GetString, "Setting", "Language", "d", 0, 256, "", "",
       "Fran\xC3\xA7"
       "ais"},
      {"Utf16Write", IniStore::Utf16, "[S]\r\nA=\xC3\xA9\r\n", IniOp::Write, "S", "B", "\xC3\xBC",
       0, 256, "", "", "\xC3\xBC"},
      {"Utf16WriteKeepsOtherKeys", IniStore::Utf16, "[S]\r\nA=\xC3\xA9\r\n", IniOp::Write, "S", "B",
       "\xC3\xBC", 0, 256, "S", "A", "\xC3\xA9"},

      // Writing.
      {"WriteCreatesFile", INI_NOFILE, IniOp::Write, "Setting", "DebugMode", "7", 0, 256, "", "",
       "7"},
      {"WriteNewKey", IniStore::Bytes, "[S]\r\nA=1\r\n", IniOp::Write, "S", "B", "2", 0, 256, "",
       "", "2"},
      {"WriteNewKeyKeepsOthers", IniStore::Bytes, "[S]\r\nA=1\r\n", IniOp::Write, "S", "B", "2", 0,
       256, "S", "A", "1"},
      {"WriteSectionIgnoringCaseAddsNoKey", IniStore::Bytes, "[s]\r\nkey=1\r\n", IniOp::WriteKeys,
       "S", "key", "2", 0, 256, "", "", "key"},
      {"WriteReplacedValueReadBack", IniStore::Bytes, "[s]\r\nkey=1\r\n", IniOp::Write, "S", "KEY",
       "2", 0, 256, "s", "key", "2"},
      {"WriteNewSection", IniStore::Bytes, "[A]\r\nx=1\r\n", IniOp::Write, "B", "y", "2", 0, 256,
       "", "", "2"},
      {"WriteNewSectionKeepsOthers", IniStore::Bytes, "[A]\r\nx=1\r\n", IniOp::Write, "B", "y", "2",
       0, 256, "A", "x", "1"},
      {"WriteNoFinalLineEnd", IniStore::Bytes, "[A]\r\nx=1", IniOp::Write, "A", "y", "2", 0, 256,
       "A", "x", "1"},
      {"WriteOtherSectionSameKey", IniStore::Bytes, "[A]\r\nK=1\r\n[B]\r\nK=2\r\n", IniOp::Write,
       "B", "K", "3", 0, 256, "A", "K", "1"},
      {"WriteValueBlanksTrimmedOnRead", IniStore::Bytes, "[S]\r\n", IniOp::Write, "S", "K", "v  ",
       0, 256, "", "", "v"},
      {"WriteEmptyValue", IniStore::Bytes, "[S]\r\nK=1\r\n", IniOp::Write, "S", "K", "", 0, 256, "",
       "", ""},
      {"WriteQuotedValueReadsUnquoted", IniStore::Bytes, "[S]\r\n", IniOp::Write, "S", "K",
       "\" a \"", 0, 256, "", "", " a "},

      // Deleting.
      {"DeleteKey", IniStore::Bytes, "[S]\r\nA=1\r\nB=2\r\n", IniOp::DeleteKey, "S", "A", "", 0,
       256, "", "", "<none>"},
      {"DeleteKeyKeepsOthers", IniStore::Bytes, "[S]\r\nA=1\r\nB=2\r\n", IniOp::DeleteKey, "S", "A",
       "", 0, 256, "S", "B", "2"},
      {"DeleteSection", IniStore::Bytes, "[S]\r\nA=1\r\n[T]\r\nB=2\r\n", IniOp::DeleteSection, "S",
       "", "", 0, 256, "S", "A", "<none>"},
      {"DeleteSectionKeepsOthers", IniStore::Bytes, "[S]\r\nA=1\r\n[T]\r\nB=2\r\n",
       IniOp::DeleteSection, "S", "", "", 0, 256, "T", "B", "2"},
  };
  return cases;
}

#undef INI_S
#undef INI_I
#undef INI_NOFILE

// Runs one case against `profile` with the file at `path` (which must not
// exist yet) and returns what it answered, to compare with c.Expected. A
// write or delete the profile refused answers "<refused>".
inline std::string RunIniCase(os::IProfile& profile, const IniCase& c, const std::string& path) {
  if (c.File != IniStore::NoFile) {
    std::vector<uint8_t> bytes = c.File == IniStore::Utf16
                                     ? Utf16LeWithBom(c.Content)
                                     : std::vector<uint8_t>(c.Content.begin(), c.Content.end());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  auto join = [](const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : "|") + n;
    return out;
  };
  std::string readSection = c.ReadSection.empty() ? c.Section : c.ReadSection;
  std::string readKey = c.ReadKey.empty() ? c.Key : c.ReadKey;
  switch (c.Op) {
    case IniOp::GetString:
      return profile.GetString(c.Section, c.Key, c.Argument, path, c.Capacity);
    case IniOp::GetInt:
      return std::to_string(profile.GetInt(c.Section, c.Key, c.IntFallback, path));
    case IniOp::Keys:
      return join(profile.Keys(c.Section, path));
    case IniOp::Write:
      if (!profile.WriteString(c.Section, c.Key, c.Argument, path)) return "<refused>";
      return profile.GetString(readSection, readKey, "<none>", path);
    case IniOp::WriteKeys:
      if (!profile.WriteString(c.Section, c.Key, c.Argument, path)) return "<refused>";
      return join(profile.Keys(readSection, path));
    case IniOp::DeleteKey:
      if (!profile.DeleteKey(c.Section, c.Key, path)) return "<refused>";
      return profile.GetString(readSection, readKey, "<none>", path);
    case IniOp::DeleteSection:
      if (!profile.DeleteSection(c.Section, path)) return "<refused>";
      return profile.GetString(readSection, readKey, "<none>", path);
  }
  return "<unknown operation>";
}

}  // namespace testutil
