#include "common/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace kiln {
namespace {

TEST(Utf8Test, AcceptsWellFormedText) {
  using namespace std::string_literals;
  for (const std::string& text :
       {""s, "plain ascii"s, "\0 inside"s, "\xC2\x80"s, "\xDF\xBF"s, "\xE0\xA0\x80"s,
        "\xED\x9F\xBF"s, "\xEE\x80\x80"s, "\xEF\xBF\xBF"s, "\xF0\x90\x80\x80"s,
        "\xF4\x8F\xBF\xBF"s, "caf\xC3\xA9 \xF0\x9F\x8E\xAE"s}) {
    EXPECT_TRUE(IsValidUtf8(text)) << text;
  }
}

TEST(Utf8Test, RejectsWhatJsonCannotCarry) {
  for (const char* text : {
           "\x80",              // lone continuation byte
           "\xC0\xAF",          // overlong "/"
           "\xC1\xBF",          // overlong
           "\xE0\x9F\xBF",      // overlong three-byte form
           "\xED\xA0\x80",      // surrogate half
           "\xF0\x8F\xBF\xBF",  // overlong four-byte form
           "\xF4\x90\x80\x80",  // above U+10FFFF
           "\xF5\x80\x80\x80",  // no such lead byte
           "\xFF",              //
           "\xC3",              // cut short at the end
           "\xE2\x82",          //
           "\xE2\x82x",         // cut short by a new character
           "ok\xC3(",           //
       }) {
    EXPECT_FALSE(IsValidUtf8(text)) << text;
  }
}

TEST(Utf8Test, ConvertsUtf16AndMarksLoneSurrogates) {
  EXPECT_EQ(Utf16ToUtf8(u"120.0.2210.91"), "120.0.2210.91");
  EXPECT_EQ(Utf16ToUtf8(u"caf\u00e9 \u20ac"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F3AE"), "\xF0\x9F\x8E\xAE");
  const char16_t lone[] = {u'a', 0xD83C, u'b', 0xDFAE, 0};
  EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string_view(u"\0x", 2)), std::string("\0x", 2));
}

}  // namespace
}  // namespace kiln
