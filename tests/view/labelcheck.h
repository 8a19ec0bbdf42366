#pragma once

// What makes a drawn staff readable, checked on what a paint recorded: no text drawn over
// another, and no bend line through a text.

#include "paintrecorder.h"

#include <string>
#include <vector>

namespace reedtab {

// One fault for every two texts whose visible glyphs overlap and every bend line that crosses
// a text's visible glyphs, named for a failure message; at most `limit` of them.
std::vector<std::string> labelFaults(const std::vector<DrawnItem>& items, std::size_t limit = 10);

// The bend lines' colour.
inline const QColor kBendLineColour(255, 0, 0);

} // namespace reedtab
