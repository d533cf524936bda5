// Running out of memory: what a step that could not get its memory tells the user.
#pragma once

#include <cstddef>
#include <string>

namespace karvelo {

// Records a request for memory that the system refused (the largest one counts), so that the
// message can say how much the step wanted. Called where memory is asked for in large pieces; the
// program's operator new calls it too.
void NoteFailedRequest(std::size_t bytes);

// "Not enough memory for <step> (about N MB needed)": N is what the process had mapped when the
// request failed plus that request, in MB rounded up. Clears the recorded request.
std::string OutOfMemoryMessage(const std::string& step);

}  // namespace karvelo
