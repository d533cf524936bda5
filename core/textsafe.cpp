// Escaping control bytes of file text before it reaches a terminal or a message box.
#include "core/textsafe.h"

namespace karvelo {

std::string EscapeControl(std::string_view text, bool keepLineBreaks) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    const bool control = (b < 0x20 && b != '\t' && !(keepLineBreaks && b == '\n')) || b == 0x7f;
    if (!control) {
      out.push_back(ch);
      continue;
    }
    out += "\\x";
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0xf]);
  }
  return out;
}

std::string QuotedFileText(std::string_view text, std::size_t most) {
  std::string out = "\"" + EscapeControl(text.substr(0, most));
  if (text.size() > most) out += "...";
  return out + "\"";
}

}  // namespace karvelo
