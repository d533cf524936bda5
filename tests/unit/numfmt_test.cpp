// Rounding, number texts and column padding: the pieces every file and log table is made of.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <random>

#include "core/numfmt.h"
#include "core/sha256.h"
#include "test_support.h"
#include "core/textsafe.h"

namespace karvelo {

TEST(RoundHalfEven, TiesGoToTheEvenInteger) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(-1.5), -2);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(2.4999999), 2);
  EXPECT_EQ(RoundHalfEven(2.5000001), 3);
  EXPECT_EQ(RoundHalfEven(127.5), 128);
  EXPECT_EQ(RoundToInt(1e300), std::numeric_limits<int>::max());
  EXPECT_EQ(RoundToInt(std::nan("")), 0);
}

TEST(FormatGridNumber, FixedDecimalsWithPointAndNoBlanks) {
  EXPECT_EQ(FormatGridNumber(-9999, 2), "-9999.00");
  EXPECT_EQ(FormatGridNumber(0.125, 8), "0.12500000");
  EXPECT_EQ(FormatGridNumber(8, 8), "8.00000000");
  EXPECT_EQ(FormatGridNumber(0.006, 2), "0.01");
  EXPECT_EQ(FormatGridNumber(0.001, 2), "0.00");
  EXPECT_EQ(FormatGridNumber(150000, 2), "150000.00");
  EXPECT_EQ(FormatGridNumber(0.6, 10), "0.6000000000");
  EXPECT_EQ(FormatGridNumber(-1, 10), "-1.0000000000");
  EXPECT_EQ(FormatGridNumber(1e20, 2), "100000000000000000000.00");
  EXPECT_EQ(FormatGridNumber(2.5, 0), "2");
  // A negative value keeps its sign when every written digit is zero; zero itself has none.
  EXPECT_EQ(FormatGridNumber(-0.001, 2), "-0.00");
  EXPECT_EQ(FormatGridNumber(-0.0032, 2), "-0.00");
  EXPECT_EQ(FormatGridNumber(-0.00000004, 7), "-0.0000000");
  EXPECT_EQ(FormatGridNumber(-0.0, 2), "0.00");
  EXPECT_EQ(FormatGridNumber(0.0, 0), "0");
  EXPECT_EQ(FormatGridNumber(-0.4, 0), "-0");
}

TEST(FormatStripped5, TrailingZerosAndPointGo) {
  EXPECT_EQ(FormatStripped5(12.5), "12.5");
  EXPECT_EQ(FormatStripped5(3), "3");
  EXPECT_EQ(FormatStripped5(-0.25), "-0.25");
  EXPECT_EQ(FormatStripped5(0.123456), "0.12346");
  EXPECT_EQ(FormatStripped5(1000000000), "1000000000");
  EXPECT_EQ(FormatStripped5(-1000000000), "-1000000000");
  EXPECT_EQ(FormatStripped5(0.992607), "0.99261");
}

TEST(Frmt, PadsToTheColumnOrAddsOneBlank) {
  EXPECT_EQ(frmt("Grid", 15), "Grid           ");
  EXPECT_EQ(frmt("Grid", 15).size(), 15u);
  EXPECT_EQ(frmt("123456789012345", 15), "123456789012345 ");
  EXPECT_EQ(frmt("12345678901234567890", 15).size(), 21u);
  EXPECT_EQ(frmt("", 35).size(), 35u);
  // Never more than 48 blanks, however wide the column.
  EXPECT_EQ(frmt("a", 100).size(), 49u);
}

TEST(ParseNumbers, PrefixesAndWholeTexts) {
  EXPECT_EQ(ParseRealPrefix("150000"), 150000);
  EXPECT_EQ(ParseRealPrefix("-9999"), -9999);
  EXPECT_EQ(ParseRealPrefix(".5"), 0.5);
  EXPECT_EQ(ParseRealPrefix("+2.5e3"), 2500);
  EXPECT_EQ(ParseRealPrefix("1.5E-1xyz"), 0.15);
  EXPECT_EQ(ParseRealPrefix("12abc"), 12);
  EXPECT_EQ(ParseRealPrefix("3e"), 3);
  EXPECT_EQ(ParseRealPrefix("\t100"), 0);
  EXPECT_EQ(ParseRealPrefix("abc"), 0);
  EXPECT_EQ(ParseRealPrefix("-"), 0);
  EXPECT_EQ(ParseRealPrefix("40\r"), 40);
  EXPECT_TRUE(std::isinf(ParseRealPrefix("1e999")));
  EXPECT_EQ(ParseRealPrefix("1e-999"), 0);

  EXPECT_EQ(ParseIntPrefix("104"), 104);
  EXPECT_EQ(ParseIntPrefix("100.7"), 100);
  EXPECT_EQ(ParseIntPrefix("-5"), -5);
  EXPECT_EQ(ParseIntPrefix("\t78"), 0);
  EXPECT_EQ(ParseIntPrefix("99999999999999999999"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(ParseIntPrefix("-99999999999999999999"), std::numeric_limits<std::int32_t>::min());

  EXPECT_EQ(ParseReal("1.5E3"), 1500.0);
  EXPECT_EQ(ParseReal("-0.25"), -0.25);
  EXPECT_EQ(ParseReal("5."), 5.0);
  EXPECT_FALSE(ParseReal("1.5.3"));
  EXPECT_FALSE(ParseReal("nan"));
  EXPECT_FALSE(ParseReal("inf"));
  EXPECT_FALSE(ParseReal("0x10"));
  EXPECT_FALSE(ParseReal("1,5"));
  EXPECT_FALSE(ParseReal(""));
}

// Corners and cell sizes: two decimals where they are exact, so every projected grid keeps its
// bytes; otherwise the shortest text that reads back as the same double.
TEST(FormatGeoref, TwoDecimalsWhenExactElseShortestThatReadsBack) {
  EXPECT_EQ(FormatGeoref(150000), "150000.00");
  EXPECT_EQ(FormatGeoref(-12345.5), "-12345.50");
  EXPECT_EQ(FormatGeoref(0.1), "0.10");    // "0.10" reads back as the same double as 0.1
  EXPECT_EQ(FormatGeoref(25), "25.00");
  EXPECT_EQ(FormatGeoref(-0.0), "0.00");
  EXPECT_EQ(FormatGeoref(0.000833333), "0.000833333");
  EXPECT_EQ(FormatGeoref(0.125), "0.125");
  EXPECT_EQ(FormatGeoref(5.123456789), "5.123456789");
  EXPECT_EQ(FormatGeoref(1.0 / 1200), "0.0008333333333333334");
  EXPECT_EQ(FormatGeoref(-179.99958333333333), "-179.99958333333333");
  EXPECT_EQ(FormatGeoref(1e-12), "0.000000000001");  // never an exponent
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> any(-1e7, 1e7);
  for (int i = 0; i < 20000; ++i) {
    const double v = i % 2 ? any(rng) : std::round(any(rng) * 100) / 100;
    const std::string text = FormatGeoref(v);
    ASSERT_EQ(ParseReal(text), v) << text;
    ASSERT_EQ(text.find_first_of("eE"), std::string::npos) << text;
  }
}

TEST(EscapeControl, ControlBytesShowAsHexAndNothingElseChanges) {
  EXPECT_EQ(EscapeControl("\x1b[2Jred"), "\\x1b[2Jred");
  EXPECT_EQ(EscapeControl(std::string("a\0b\x7f\r", 5)), "a\\x00b\\x7f\\x0d");
  EXPECT_EQ(EscapeControl("tab\there"), "tab\there");
  EXPECT_EQ(EscapeControl("caf\xc3\xa9 \\x41"), "caf\xc3\xa9 \\x41");  // UTF-8 and backslashes stay
  EXPECT_EQ(EscapeControl("two\nlines"), "two\\x0alines");
  EXPECT_EQ(EscapeControl("two\nlines\x07", true), "two\nlines\\x07");
  // Bytes that are no UTF-8 (a lone continuation, an overlong form, a surrogate, a cut sequence)
  // and the C1 controls a terminal obeys are escaped; valid characters of every length stay.
  EXPECT_EQ(EscapeControl("\x80" "a\xc0\xaf\xed\xa0\x80\xe2\x82"), "\\x80a\\xc0\\xaf\\xed\\xa0\\x80\\xe2\\x82");
  EXPECT_EQ(EscapeControl("\xc2\x9b" "2J \xc2\xa0\xe2\x82\xac\xf0\x9f\x98\x80"), "\\xc2\\x9b2J \xc2\xa0\xe2\x82\xac\xf0\x9f\x98\x80");
  EXPECT_EQ(QuotedFileText("ab\x1b"), "\"ab\\x1b\"");
  EXPECT_EQ(QuotedFileText(std::string(100, 'x'), 5), "\"xxxxx...\"");
}

// The published test vectors, and a file read in pieces that cross the 64-byte blocks.
TEST(Sha256, MatchesThePublishedVectorsAndReadsFilesWhole) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  test::TempDir dir;
  test::WriteFile(dir / "a", std::string(1000000, 'a'));
  EXPECT_EQ(FileSha256(dir / "a"), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace karvelo
