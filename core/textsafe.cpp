// Escaping control bytes of file text before it reaches a terminal or a message box.
#include "core/textsafe.h"

namespace karvelo {

namespace {

// The length of the valid UTF-8 sequence at text[i] (a lead byte from 0xC2 up), or 0 when the bytes
// there are no valid sequence: overlong forms, surrogates and code points beyond U+10FFFF are not.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const auto cont = [&](std::size_t k) { return i + k < text.size() && (b(k) & 0xC0) == 0x80; };
  const unsigned char lead = b(0);
  if (lead >= 0xC2 && lead <= 0xDF) return cont(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    if (lead == 0xE0 && b(1) < 0xA0) return 0;  // overlong
    if (lead == 0xED && b(1) >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    if (lead == 0xF0 && b(1) < 0x90) return 0;  // overlong
    if (lead == 0xF4 && b(1) >= 0x90) return 0;  // beyond U+10FFFF
    return 4;
  }
  return 0;
}

void AppendEscaped(std::string& out, unsigned char b) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out.push_back(kHex[b >> 4]);
  out.push_back(kHex[b & 0xf]);
}

}  // namespace

std::string EscapeControl(std::string_view text, bool keepLineBreaks) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b >= 0x80) {
      const std::size_t n = Utf8SequenceAt(text, i);
      // The C1 controls (U+0080..U+009F) drive some terminals as their 8-bit forms do.
      const bool c1 = n == 2 && b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
      if (n == 0 || c1) {
        for (std::size_t k = 0; k < (c1 ? 2 : 1); ++k) AppendEscaped(out, static_cast<unsigned char>(text[i + k]));
        i += c1 ? 2 : 1;
      } else {
        out.append(text.substr(i, n));
        i += n;
      }
      continue;
    }
    const bool control = (b < 0x20 && b != '\t' && !(keepLineBreaks && b == '\n')) || b == 0x7f;
    if (control) {
      AppendEscaped(out, b);
    } else {
      out.push_back(static_cast<char>(b));
    }
    ++i;
  }
  return out;
}

std::string QuotedFileText(std::string_view text, std::size_t most) {
  std::string out = "\"" + EscapeControl(text.substr(0, most));
  if (text.size() > most) out += "...";
  return out + "\"";
}

}  // namespace karvelo
