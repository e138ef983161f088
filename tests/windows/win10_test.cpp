// Run as a program that declares Windows 10 support, under a system that
// reports Windows 10.
#include <gtest/gtest.h>

#include "library_support.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

class Windows10Test : public LibraryTest {};

TEST_F(Windows10Test, TheFilesAreNamedForVersion10) {
  EXPECT_EQ(TakeText(GetTheFileName()), "Update_10.0.ini");
  WriteFile(ModuleDir() + "PovConfig_10.0.ini", "[Viewer]\r\nVersion=4\r\n");
  Record record;
  ASSERT_EQ(GetTheLocalSoftwareInforFromIni("Viewer", record.get()), 0);
  EXPECT_EQ(record.Texts()[1], "4");
}

}  // namespace
}  // namespace povupdate::test
