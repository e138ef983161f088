#pragma once

namespace povupdate {

class TextTrim {
 public:
  virtual ~TextTrim() = default;

  // Ends a decimal text `keep` characters after its first ".", in place. A
  // text without "." or with fewer fraction characters is left as it is.
  void CutAfterPoint(char* text, int keep) const;
};

}  // namespace povupdate
