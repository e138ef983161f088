// The index of a profile file with many sections and keys, as a large update
// file has: every name found, repeated ones ignored, edits placed right.

#include <gtest/gtest.h>

#include <string>

#include "platform/ini_document.h"

namespace povupdate::test {
namespace {

using backend::IniDocument;

constexpr int kSections = 3000;
constexpr int kKeys = 7;

std::string Name(const char* prefix, int number) { return prefix + std::to_string(number); }

// Sections "Item0".."Item2999" with keys "Key0".."Key6", written in mixed
// case, each section followed by a repeated copy whose values must be ignored.
std::string LargeFile() {
  std::string file;
  for (int section = 0; section < kSections; ++section) {
    file += "[" + Name(section % 2 ? "ITEM" : "item", section) + "]\r\n";
    for (int key = 0; key < kKeys; ++key) {
      file += Name("KEY", key) + "=" + std::to_string(section * kKeys + key) + "\r\n";
    }
    file += Name("key", 0) + "=repeated\r\n";
    file += "[" + Name("Item", section) + "]\r\n" + Name("Key", 1) + "=copy\r\nOnlyInCopy=1\r\n";
  }
  return file;
}

TEST(IniDocumentTest, LargeFileFindsEveryKeyAndIgnoresRepeats) {
  const IniDocument document(LargeFile());
  for (int section = 0; section < kSections; ++section) {
    const std::string name = Name("Item", section);
    for (int key = 0; key < kKeys; ++key) {
      const auto value = document.Find(name, Name("Key", key));
      ASSERT_TRUE(value) << name << " " << key;
      EXPECT_EQ(*value, std::to_string(section * kKeys + key));
    }
    EXPECT_FALSE(document.Find(name, "OnlyInCopy")) << name;
    EXPECT_FALSE(document.Find(name, Name("Key", kKeys))) << name;
  }
  EXPECT_FALSE(document.Find(Name("Item", kSections), "Key0"));
}

TEST(IniDocumentTest, EditsInLargeFileLandInTheirSection) {
  const std::string file = LargeFile();
  const IniDocument document(file);
  const std::string middle = Name("Item", kSections / 2);

  const IniDocument replaced(document.Edit(middle, "key3", "new"));
  const IniDocument added(document.Edit(middle, "Added", "yes"));
  const IniDocument removed(document.Edit(middle, "Key3", std::nullopt));

  EXPECT_EQ(replaced.Find(middle, "Key3"), "new");
  EXPECT_EQ(replaced.bytes().size(),
            file.size() - std::to_string(kSections / 2 * kKeys + 3).size() + 3);
  EXPECT_EQ(added.Find(middle, "Added"), "yes");
  EXPECT_FALSE(added.Find(Name("Item", kSections / 2 + 1), "Added"));
  // After the last key line of the first copy, before its repeated key.
  EXPECT_NE(added.bytes().find("=repeated\r\nAdded=yes\r\n["), std::string::npos);
  EXPECT_FALSE(removed.Find(middle, "Key3"));
  EXPECT_EQ(removed.Find(middle, "Key4"), std::to_string(kSections / 2 * kKeys + 4));
}

// A new key goes before the comments after its section's last key. In a
// section of comments only, where Windows puts it is not known; Wine puts it
// after them. Comments of other sections, of a repeated copy of the section
// and before the first section don't move it.
TEST(IniDocumentTest, NewKeyBeforeTrailingCommentsAfterCommentsOfCommentOnlySectionAsWine) {
  const IniDocument document(
      "; top\r\n[a]\r\nk=1\r\n; end of a\r\n\r\n[A]\r\n; copy\r\n[b]\r\n; b\r\n");
  EXPECT_EQ(document.Edit("a", "j", "2"),
            "; top\r\n[a]\r\nk=1\r\nj=2\r\n; end of a\r\n\r\n[A]\r\n; copy\r\n[b]\r\n; b\r\n");
  EXPECT_EQ(document.Edit("b", "j", "2"),
            "; top\r\n[a]\r\nk=1\r\n; end of a\r\n\r\n[A]\r\n; copy\r\n[b]\r\n; b\r\nj=2\r\n");
  EXPECT_EQ(IniDocument("; top\r\n[a]\r\n").Edit("a", "j", "2"), "; top\r\n[a]\r\nj=2\r\n");
}

}  // namespace
}  // namespace povupdate::test
