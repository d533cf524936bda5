// Text from a file made safe to show: control bytes escaped so that they cannot drive a terminal.
#pragma once

#include <string>
#include <string_view>

namespace karvelo {

// text with every byte below 0x20 (except tab), 0x7f, the C1 controls (U+0080..U+009F) and every
// byte from 0x80 up that is not part of valid UTF-8 written as "\x1b" (two lower-case hex digits).
// With keepLineBreaks, LF stays LF: a message's own lines must still break.
std::string EscapeControl(std::string_view text, bool keepLineBreaks = false);

// File text quoted for a message: in double quotes, escaped, and cut to its first `most` bytes
// (then "..." follows the text) so that one long line cannot flood the message.
std::string QuotedFileText(std::string_view text, std::size_t most = 64);

}  // namespace karvelo
