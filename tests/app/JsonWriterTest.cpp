#include "app/JsonWriter.h"

#include <gtest/gtest.h>

#include <string>

using app::CJsonWriter;

struct QuoteCase {
  const char* Name;
  std::string Input;
  std::string Expected;
};

class JsonQuote : public testing::TestWithParam<QuoteCase> {};

TEST_P(JsonQuote, EscapesWhatJsonForbids) {
  EXPECT_EQ(CJsonWriter::Quote(GetParam().Input), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, JsonQuote,
    testing::Values(
        QuoteCase{"Plain", "WDC WD5000AAKS", "\"WDC WD5000AAKS\""},
        QuoteCase{"QuoteAndBackslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
        QuoteCase{"ShortEscapes", "\n\r\t", "\"\\n\\r\\t\""},
        QuoteCase{"OtherControls", std::string("\x01\x1F\x7F", 3), "\"\\u0001\\u001F\\u007F\""},
        QuoteCase{"EmbeddedNul", std::string("A\0B", 3), "\"A\\u0000B\""},
        QuoteCase{"ValidUtf8Passes",
                  "\xC2\xB0"
                  "C \xE2\x82\xAC \xF0\x9F\x92\xBE",
                  "\"\xC2\xB0"
                  "C \xE2\x82\xAC \xF0\x9F\x92\xBE\""},
        QuoteCase{"LoneHighByte", "\xFF", "\"\\u00FF\""},
        QuoteCase{"TruncatedSequence", "\xE2\x82", "\"\\u00E2\\u0082\""},
        QuoteCase{"OverlongForm", "\xC0\xAF", "\"\\u00C0\\u00AF\""},
        QuoteCase{"Surrogate", "\xED\xA0\x80", "\"\\u00ED\\u00A0\\u0080\""},
        QuoteCase{"AboveUnicode", "\xF4\x90\x80\x80", "\"\\u00F4\\u0090\\u0080\\u0080\""},
        QuoteCase{"ContinuationAlone", "a\x80z", "\"a\\u0080z\""}),
    [](const testing::TestParamInfo<QuoteCase>& p) { return p.param.Name; });

TEST(JsonWriter, NestsObjectsAndArraysWithCommas) {
  CJsonWriter w(0);
  w.BeginArray();
  w.BeginObject();
  w.Key("Id");
  w.Int(-5);
  w.Key("Raw");
  w.Hex(reinterpret_cast<const uint8_t*>("\x0A\xFF"), 2);
  w.Key("List");
  w.BeginArray();
  w.UInt(1);
  w.Bool(false);
  w.Null();
  w.EndArray();
  w.Key("Empty");
  w.BeginObject();
  w.EndObject();
  w.EndObject();
  w.BeginArray();
  w.EndArray();
  w.EndArray();
  EXPECT_EQ(w.Text(), "[{\"Id\":-5,\"Raw\":\"0AFF\",\"List\":[1,false,null],\"Empty\":{}},[]]");
}

TEST(JsonWriter, IndentsOneMemberPerLine) {
  CJsonWriter w(2);
  w.BeginObject();
  w.Key("a");
  w.Int(1);
  w.Key("b");
  w.BeginArray();
  w.Int(2);
  w.EndArray();
  w.EndObject();
  EXPECT_EQ(w.Text(), "{\n  \"a\": 1,\n  \"b\": [\n    2\n  ]\n}");
}

TEST(JsonWriter, NumbersRoundTripAndNonFiniteIsNull) {
  CJsonWriter w(0);
  w.BeginArray();
  w.Double(1.0);
  w.Double(0.5);
  w.Float(1.25f);
  w.Float(0.1f);
  w.Double(1.0 / 0.0);
  w.EndArray();
  EXPECT_EQ(w.Text(), "[1,0.5,1.25,0.1,null]");
}
