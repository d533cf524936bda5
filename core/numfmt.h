// Locale-free number formatting and parsing, halves-to-even rounding, and text-column padding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace karvelo {

// The nearest integer to x, halves going to the even integer (2.5 -> 2, 3.5 -> 4, -0.5 -> 0).
double RoundHalfEven(double x);
// RoundHalfEven as an int, saturated to the int range.
int RoundToInt(double x);

// v in fixed-point notation with exactly d decimals, "." as decimal point, no blanks. The digits
// are the correctly rounded decimal of the double's exact value. A negative value keeps its "-"
// even when every written digit is zero (-0.0032 with 2 decimals is "-0.00"); zero itself, 0.0 or
// -0.0, is written without a sign.
std::string FormatFixed(double v, int decimals);
// The grid writer's number: FormatFixed under the name the writers use.
inline std::string FormatGridNumber(double v, int d) { return FormatFixed(v, d); }
// The shortest text that reads back as the same double ("full precision").
std::string FormatShortest(double v);
// A corner or cell size in a grid header or configuration file: two decimals when they read back
// as the same double (every projected grid keeps its bytes), otherwise the shortest fixed-point
// text that does, so a grid in degrees (cell size 0.000833333) keeps its size and position.
std::string FormatGeoref(double v);
// 5 decimals, then trailing zeros and a trailing point stripped (12.5, 3, -0.25).
std::string FormatStripped5(double v);

// text without the blanks and tabs at either end.
std::string Trimmed(std::string_view text);
// text with blanks in front up to `width` characters (a longer text stays as it is).
std::string RightAligned(std::string text, std::size_t width);
// FormatFixed right-aligned in a field of `width` characters: the tables' and files' "w:d" numbers.
inline std::string FixedInWidth(double v, int decimals, std::size_t width) {
  return RightAligned(FormatFixed(v, decimals), width);
}
// The file name of a path without its folder.
std::string FileNameOf(const std::string& path);

// Column alignment of the log's text tables: txt padded with blanks to size characters (at most
// 48 blanks added); a text of size characters or more gets exactly one blank.
std::string frmt(std::string_view txt, int size);

// The longest prefix of text that forms a decimal number ([sign] digits [. digits] [e [sign]
// digits], at least one digit); 0 when there is none. Used where the program takes a typed or
// header number without checking it, like a partial conversion.
double ParseRealPrefix(std::string_view text);
// The longest prefix of text that forms a [sign] digits integer, saturated to the int32 range; 0
// when there is none.
std::int32_t ParseIntPrefix(std::string_view text);
// The whole of text as a decimal number, or nothing when any of it is not part of the number.
std::optional<double> ParseReal(std::string_view text);

}  // namespace karvelo
