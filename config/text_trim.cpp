#include "config/text_trim.h"

namespace povupdate {

// Walked by hand, as the copies in platform/text.cpp are: on these short
// texts the C library's calls cost more than the work.
void TextTrim::CutAfterPoint(char* text, int keep) const {
  if (keep < 0) return;
  char* point = text;
  while (*point != '.') {
    if (*point == '\0') return;
    ++point;
  }
  char* end = point + 1;
  for (int i = 0; i < keep && *end != '\0'; ++i) ++end;
  *end = '\0';
}

}  // namespace povupdate
