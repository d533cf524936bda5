// Class labels that never overwrite each other.
#include "render/classlabels.h"

#include <string>

namespace karvelo {

namespace {
// Pixels of white between two labels, so that "1" and "2" never read as "12".
constexpr int kLabelGap = 3;
}  // namespace

std::vector<int> DrawClassLabels(Canvas& pic, const std::vector<int>& lefts, int y) {
  std::vector<int> drawn;
  int freeFrom = lefts.empty() ? 0 : lefts.front();
  for (std::size_t i = 0; i < lefts.size(); ++i) {
    const int k = static_cast<int>(i) + 1;
    const std::string text = k == 1 ? "Class 1" : std::to_string(k);
    const int left = lefts[i];
    const int right = left + pic.TextWidth(text);
    if (left < freeFrom || right > pic.Width()) continue;
    pic.Text(left, y, text, kBlack, kWhite);
    drawn.push_back(k);
    freeFrom = right + kLabelGap;
  }
  return drawn;
}

}  // namespace karvelo
