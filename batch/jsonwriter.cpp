// JSON text: escaping and the comma bookkeeping of nested values.
#include "batch/jsonwriter.h"

#include <cmath>

#include "core/numfmt.h"

namespace karvelo {

namespace {

// The length of the valid UTF-8 sequence at text[i], or 0 when the byte starts none (overlong
// forms, surrogates and values beyond U+10FFFF are no valid UTF-8).
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b = byte(i);
  std::size_t n = 0;
  unsigned lowest = 0;
  unsigned cp = 0;
  if (b < 0x80) return 1;
  if (b >= 0xc2 && b <= 0xdf) n = 2, lowest = 0x80, cp = b & 0x1f;
  else if (b >= 0xe0 && b <= 0xef) n = 3, lowest = 0x800, cp = b & 0x0f;
  else if (b >= 0xf0 && b <= 0xf4) n = 4, lowest = 0x10000, cp = b & 0x07;
  else return 0;
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xc0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3f);
  }
  if (cp < lowest || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return 0;
  return n;
}

void AppendUnicodeEscape(std::string& out, unsigned code) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xf];
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"': out += "\\\""; ++i; continue;
      case '\\': out += "\\\\"; ++i; continue;
      case '\n': out += "\\n"; ++i; continue;
      case '\r': out += "\\r"; ++i; continue;
      case '\t': out += "\\t"; ++i; continue;
      case '\b': out += "\\b"; ++i; continue;
      case '\f': out += "\\f"; ++i; continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7f) {
      AppendUnicodeEscape(out, c);
      ++i;
      continue;
    }
    const std::size_t n = Utf8Length(text, i);
    if (n == 0) {
      AppendUnicodeEscape(out, 0xdc00 + c);
      ++i;
      continue;
    }
    out.append(text.substr(i, n));
    i += n;
  }
  out += '"';
  return out;
}

std::string JsonNumber(double v) {
  if (!std::isfinite(v)) return "null";
  return FormatShortest(v);
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ += ',';
    first_.back() = false;
  }
}

JsonWriter& JsonWriter::BeginObject() {
  BeforeValue();
  out_ += '{';
  first_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  out_ += '}';
  first_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  BeforeValue();
  out_ += '[';
  first_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  out_ += ']';
  first_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
  BeforeValue();
  out_ += JsonString(key);
  out_ += ':';
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  BeforeValue();
  out_ += JsonString(text);
  return *this;
}

JsonWriter& JsonWriter::Number(double v) {
  BeforeValue();
  out_ += JsonNumber(v);
  return *this;
}

JsonWriter& JsonWriter::Integer(long long v) {
  BeforeValue();
  out_ += std::to_string(v);
  return *this;
}

JsonWriter& JsonWriter::Bool(bool v) {
  BeforeValue();
  out_ += v ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
  return *this;
}

JsonWriter& JsonWriter::Strings(const std::vector<std::string>& texts) {
  BeginArray();
  for (const std::string& t : texts) String(t);
  return EndArray();
}

JsonWriter& JsonWriter::Raw(std::string_view json) {
  BeforeValue();
  out_ += json;
  return *this;
}

}  // namespace karvelo
