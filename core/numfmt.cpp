// Number formatting and parsing with std::to_chars / std::from_chars: never the C library's locale.
#include "core/numfmt.h"

#include <charconv>
#include <filesystem>
#include <cmath>
#include <limits>
#include <system_error>

namespace karvelo {

double RoundHalfEven(double x) {
  const double r = std::round(x);  // halves away from zero
  if (std::fabs(x - std::trunc(x)) == 0.5) return 2.0 * std::round(x / 2.0);
  return r;
}

int RoundToInt(double x) {
  const double r = RoundHalfEven(x);
  if (std::isnan(r)) return 0;
  if (r >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (r <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(r);
}

std::string FormatFixed(double v, int decimals) {
  if (decimals < 0) decimals = 0;
  // 1e308 in fixed notation needs 309 digits plus decimals; the buffer is sized for the worst case,
  // and the text returned holds only what was written (a table of a million such texts keeps them).
  std::string buf;
  char local[400];
  std::string wide;
  char* first = local;
  std::size_t size = sizeof local;
  if (static_cast<std::size_t>(330 + decimals) > size) {
    wide.assign(static_cast<std::size_t>(330 + decimals), '\0');
    first = wide.data();
    size = wide.size();
  }
  auto res = std::to_chars(first, first + size, v, std::chars_format::fixed, decimals);
  buf.assign(first, res.ptr);
  // A negative value keeps its sign even when every written digit is zero; zero itself has none.
  if (v == 0 && !buf.empty() && buf[0] == '-') buf.erase(0, 1);
  return buf;
}

std::string FormatShortest(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

std::string FormatGeoref(double v) {
  std::string two = FormatFixed(v, 2);
  if (!std::isfinite(v)) return two;
  const auto back = ParseReal(two);
  if (back && *back == v) return two;
  // The shortest fixed-point text: no exponent, which a grid header reader may not expect.
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  return std::string(buf, res.ptr);
}

std::string FormatStripped5(double v) {
  std::string s = FormatFixed(v, 5);
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  return s;
}

std::string Trimmed(std::string_view text) {
  const auto b = text.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return std::string(text.substr(b, text.find_last_not_of(" \t") - b + 1));
}

std::string RightAligned(std::string text, std::size_t width) {
  if (text.size() < width) text.insert(0, width - text.size(), ' ');
  return text;
}

std::string FileNameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::string frmt(std::string_view txt, int size) {
  std::string out(txt);
  const int len = static_cast<int>(txt.size());
  if (len < size) {
    int pad = size - len;
    if (pad > 48) pad = 48;
    out.append(static_cast<std::size_t>(pad), ' ');
  } else {
    out.push_back(' ');
  }
  return out;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the longest prefix of text that is a decimal number, 0 when there is none.
std::size_t NumberPrefixLength(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && IsDigit(text[i])) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  std::size_t end = i;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < n && IsDigit(text[j])) {
      while (j < n && IsDigit(text[j])) ++j;
      end = j;
    }
  }
  return end;
}

// Converts a text that NumberPrefixLength accepted whole; out-of-range magnitudes become +-inf or 0.
double ConvertNumber(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  double v = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // from_chars leaves v untouched: decide by the exponent's sign whether it overflowed.
    const auto e = text.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
    v = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return negative ? -v : v;
}

}  // namespace

double ParseRealPrefix(std::string_view text) {
  const std::size_t len = NumberPrefixLength(text);
  if (len == 0) return 0;
  return ConvertNumber(text.substr(0, len));
}

std::int32_t ParseIntPrefix(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long v = 0;
  bool any = false;
  while (i < text.size() && IsDigit(text[i])) {
    any = true;
    if (v < 10'000'000'000LL) v = v * 10 + (text[i] - '0');
    ++i;
  }
  if (!any) return 0;
  if (negative) v = -v;
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

std::optional<double> ParseReal(std::string_view text) {
  const std::size_t len = NumberPrefixLength(text);
  if (len == 0 || len != text.size()) return std::nullopt;
  return ConvertNumber(text);
}

}  // namespace karvelo
