#include "config/text_trim.h"

#include <cstring>

namespace povupdate {

void TextTrim::CutAfterPoint(char* text, int keep) const {
  char* point = std::strchr(text, '.');
  if (point == nullptr || keep < 0) return;
  if (std::strlen(point + 1) > static_cast<std::size_t>(keep)) point[1 + keep] = '\0';
}

}  // namespace povupdate
