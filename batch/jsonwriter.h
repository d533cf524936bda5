// JSON text for the machine-readable outputs of karvelo-batch (progress lines, the result file).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace karvelo {

// `text` as a JSON string in quotes. Valid UTF-8 passes as it is; control characters, quotes and
// backslashes are escaped. A byte that is no part of valid UTF-8 (a file name in another encoding)
// becomes \udcXX, the lone surrogate that Python's file-system decoding uses for that byte, so a
// reader in Python gets back the very name (os.fsencode).
std::string JsonString(std::string_view text);
// The shortest text that reads back as the same double, with "."; null for inf and nan, which
// JSON cannot hold.
std::string JsonNumber(double v);

// Builds one JSON value: objects and arrays opened and closed in order, commas put in between.
class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  // The key of the next value inside an object.
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(std::string_view text);
  JsonWriter& Number(double v);
  JsonWriter& Integer(long long v);
  JsonWriter& Bool(bool v);
  JsonWriter& Null();
  // A value or null.
  JsonWriter& Number(const std::optional<double>& v) { return v ? Number(*v) : Null(); }
  JsonWriter& Strings(const std::vector<std::string>& texts);
  // Text already in JSON (a value another writer made).
  JsonWriter& Raw(std::string_view json);

  const std::string& Text() const { return out_; }

 private:
  void BeforeValue();
  std::string out_;
  std::vector<bool> first_;  // per open object or array: no value in it yet
  bool afterKey_ = false;
};

}  // namespace karvelo
