#include "webview/byte_range.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace kiln {
namespace {

constexpr uint64_t kFiveGiB = 5ull << 30;
constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

// "first-last", or "416" when unsatisfiable: one comparable value per case.
std::string Range(const std::string& value, uint64_t size) {
  const std::optional<ByteRange> range = ParseByteRange(value, size);
  if (!range) return "416";
  return std::to_string(range->first) + "-" + std::to_string(range->last);
}

TEST(ByteRangeTest, ServesTheThreeFormsWithinTheFile) {
  EXPECT_EQ(Range("bytes=0-99", 1000), "0-99");
  EXPECT_EQ(Range("bytes=0-0", 1000), "0-0");
  EXPECT_EQ(Range("bytes=999-999", 1000), "999-999");
  EXPECT_EQ(Range("bytes=0-", 1000), "0-999");
  EXPECT_EQ(Range("bytes=999-", 1000), "999-999");
  EXPECT_EQ(Range("bytes=-500", 1000), "500-999");
  EXPECT_EQ(Range("bytes=-1000", 1000), "0-999");
  EXPECT_EQ(Range("bytes=0-0", 1), "0-0");
}

TEST(ByteRangeTest, ClampsALastByteBeyondTheEnd) {
  EXPECT_EQ(Range("bytes=0-2000", 1000), "0-999");
  EXPECT_EQ(Range("bytes=500-1000", 1000), "500-999");
  EXPECT_EQ(Range("bytes=0-18446744073709551615", 1000), "0-999");
}

TEST(ByteRangeTest, SuffixLongerThanTheFileSelectsTheWholeFile) {
  EXPECT_EQ(Range("bytes=-1500", 1000), "0-999");
  EXPECT_EQ(Range("bytes=-18446744073709551615", 1000), "0-999");
}

TEST(ByteRangeTest, FirstByteAtOrBeyondTheEndIsUnsatisfiable) {
  EXPECT_EQ(Range("bytes=1000-", 1000), "416");
  EXPECT_EQ(Range("bytes=1000-1000", 1000), "416");
  EXPECT_EQ(Range("bytes=2000-3000", 1000), "416");
  EXPECT_EQ(Range("bytes=5-3", 1000), "416");
}

TEST(ByteRangeTest, ZeroLengthSuffixAndEmptyFileAreUnsatisfiable) {
  // "-0" would otherwise select bytes 1000 to 999: an empty, inverted range.
  EXPECT_EQ(Range("bytes=-0", 1000), "416");
  EXPECT_EQ(Range("bytes=0-", 0), "416");
  EXPECT_EQ(Range("bytes=-5", 0), "416");
  EXPECT_EQ(Range("bytes=0-0", 0), "416");
}

TEST(ByteRangeTest, UnitMustBeExactlyBytes) {
  EXPECT_EQ(Range("", 1000), "416");
  EXPECT_EQ(Range("bytes", 1000), "416");
  EXPECT_EQ(Range("Bytes=0-99", 1000), "416");
  EXPECT_EQ(Range("BYTES=0-99", 1000), "416");
  EXPECT_EQ(Range("items=0-99", 1000), "416");
  EXPECT_EQ(Range("bytes =0-99", 1000), "416");
  EXPECT_EQ(Range("bytes=", 1000), "416");
  EXPECT_EQ(Range("bytes=99", 1000), "416");
}

TEST(ByteRangeTest, UnreadableNumbersAreUnsatisfiable) {
  EXPECT_EQ(Range("bytes=-", 1000), "416");
  EXPECT_EQ(Range("bytes=a-5", 1000), "416");
  EXPECT_EQ(Range("bytes=0-b", 1000), "416");
  EXPECT_EQ(Range("bytes=-x", 1000), "416");
  EXPECT_EQ(Range("bytes= -", 1000), "416");
  // One more than 2^64-1, and far more.
  EXPECT_EQ(Range("bytes=18446744073709551616-", kMax), "416");
  EXPECT_EQ(Range("bytes=0-99999999999999999999999", 1000), "416");
  EXPECT_EQ(Range("bytes=-18446744073709551616", 1000), "416");
}

TEST(ByteRangeTest, NegativeNumbersNeverWrapIntoHugeOnes) {
  // Wrapped round, "-1" would be a last byte beyond the end and be clamped.
  EXPECT_EQ(Range("bytes=0--1", 1000), "416");
  EXPECT_EQ(Range("bytes=0--0", 1000), "416");
  EXPECT_EQ(Range("bytes=--5", 1000), "416");
  EXPECT_EQ(Range("bytes=5--", 1000), "416");
}

TEST(ByteRangeTest, NumbersAllowLeadingSpaceAPlusAndTrailingText) {
  EXPECT_EQ(Range("bytes= 10-20", 1000), "10-20");
  EXPECT_EQ(Range("bytes=\t10 - 20", 1000), "10-20");
  EXPECT_EQ(Range("bytes=+10-+20", 1000), "10-20");
  EXPECT_EQ(Range("bytes=10-20abc", 1000), "10-20");
  EXPECT_EQ(Range("bytes=0x10-20", 1000), "0-20");
  EXPECT_EQ(Range("bytes=- 5", 1000), "995-999");
  EXPECT_EQ(Range("bytes=+-5", 1000), "416");  // "+" alone has no digits
}

TEST(ByteRangeTest, OnlyTheFirstRangeOfAListIsServed) {
  EXPECT_EQ(Range("bytes=0-99,200-299", 1000), "0-99");
  EXPECT_EQ(Range("bytes=0-99, 200-299", 1000), "0-99");
  EXPECT_EQ(Range("bytes=900-,0-9", 1000), "900-999");
  EXPECT_EQ(Range("bytes=900- , 0-9", 1000), "900-999");
  EXPECT_EQ(Range("bytes=-10,0-9", 1000), "990-999");
  EXPECT_EQ(Range("bytes=2000-3000,0-9", 1000), "416");
  EXPECT_EQ(Range("bytes=,0-9", 1000), "416");
}

TEST(ByteRangeTest, SizesAndOffsetsBeyondFourGiBKeepAllTheirBits) {
  EXPECT_EQ(Range("bytes=4294967296-4294967395", kFiveGiB), "4294967296-4294967395");
  EXPECT_EQ(Range("bytes=-100", kFiveGiB), "5368709020-5368709119");
  EXPECT_EQ(Range("bytes=5000000000-", kFiveGiB), "5000000000-5368709119");
  EXPECT_EQ(Range("bytes=0-", kFiveGiB), "0-5368709119");
  EXPECT_EQ(Range("bytes=0-9999999999", kFiveGiB), "0-5368709119");
  EXPECT_EQ(Range("bytes=5368709120-", kFiveGiB), "416");
  // 2^32 must not read as 0, nor a size of 2^32 + 10 as 10.
  EXPECT_EQ(Range("bytes=4294967296-", 4294967306ull), "4294967296-4294967305");
  EXPECT_EQ(Range("bytes=20-30", 4294967306ull), "20-30");
  EXPECT_EQ(Range("bytes=18446744073709551614-", kMax), "18446744073709551614-18446744073709551614");
  EXPECT_EQ(Range("bytes=-18446744073709551615", kMax), "0-18446744073709551614");
}

// Each number is read alike: "bytes=N-" shows a readable first byte, and
// "bytes=0-N" in a 1000-byte file is clamped when N is readable and refused
// when it is not.
TEST(ByteRangeTest, NumbersAreDigitsAfterOptionalSpaceAndPlus) {
  const struct {
    const char* value;
    const char* range;
  } kValues[] = {
      {"bytes=0-", "0-999"},
      {"bytes= \t\n\v\f\r42x-", "42-999"},
      {"bytes=0-18446744073709551615", "0-999"},
      {"bytes=-", "416"},
      {"bytes= -", "416"},
      {"bytes=+-", "416"},
      {"bytes=0--1", "416"},
      {"bytes=0-18446744073709551616", "416"},
      {"bytes=0-x1", "416"},
  };
  for (const auto& row : kValues) EXPECT_EQ(Range(row.value, 1000), row.range) << row.value;
}

}  // namespace
}  // namespace kiln
