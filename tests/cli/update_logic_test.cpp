// What an update decides before it runs anything: an installer's arguments,
// which archive members may be extracted, and how a download is installed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update/archive_names.h"
#include "update/command_line.h"
#include "update/install_type.h"

namespace povupdate_cli {
namespace {

using Arguments = std::vector<std::string>;

TEST(SplitCommandLine, FollowsWindowsRules) {
  const struct {
    const char* line;
    Arguments arguments;
  } cases[] = {
      {"", {}},
      {"  /S \t/NORESTART ", {"/S", "/NORESTART"}},
      {R"("C:\Program Files\x" /D=a)", {R"(C:\Program Files\x)", "/D=a"}},
      {R"(a\\b \\\\)", {R"(a\\b)", R"(\\\\)"}},
      {R"(a\\"b c")", {R"(a\b c)"}},
      {R"(a\"b)", {R"(a"b)"}},
      {R"(a\\\"b)", {R"(a\"b)"}},
      {R"("a""b" "")", {R"(a"b)", ""}},
      {R"(/dir="x y"z)", {"/dir=x yz"}},
      {R"("open)", {"open"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.arguments) << c.line;
}

TEST(SplitArchiveName, KeepsEveryMemberBeneathItsDirectory) {
  std::vector<std::string> components;
  std::string problem;
  EXPECT_TRUE(SplitArchiveName("bin//./run.exe", components, problem));
  EXPECT_EQ(components, (Arguments{"bin", "run.exe"}));
  EXPECT_TRUE(SplitArchiveName("docs/", components, problem));
  EXPECT_EQ(components, (Arguments{"docs"}));
  for (const char* name :
       {"", "/etc/passwd", "a/../../b", "..", "C:/x", "c:x", "a\\..\\b", "a:stream", "con",
        "dir/NUL.txt", "COM1", "lpt9.log", "a/b.", "a /b", "tab\there", "./"}) {
    EXPECT_FALSE(SplitArchiveName(name, components, problem)) << name;
    EXPECT_FALSE(problem.empty()) << name;
  }
  EXPECT_TRUE(SplitArchiveName("console.txt", components, problem));
  EXPECT_TRUE(SplitArchiveName("COM10", components, problem));
}

TEST(ChooseInstall, TypeWordElseExtension) {
  const struct {
    const char* type;
    const char* file;
    InstallKind kind;
    bool by_extension;
  } cases[] = {
      {"exe", "setup.bin", InstallKind::kExe, false}, {"MSI", "x.zip", InstallKind::kMsi, false},
      {"Zip", "x", InstallKind::kZip, false},         {"1", "Setup.EXE", InstallKind::kExe, true},
      {"", "pack.zip", InstallKind::kZip, true},      {"3", "x.msi", InstallKind::kMsi, true},
      {"2", "x.tar", InstallKind::kNone, false},      {"", "noext", InstallKind::kNone, false},
  };
  for (const auto& c : cases) {
    const InstallChoice choice = ChooseInstall(c.type, c.file);
    EXPECT_EQ(choice.kind, c.kind) << c.type << " " << c.file;
    EXPECT_EQ(choice.by_extension, c.by_extension) << c.type << " " << c.file;
  }
}

}  // namespace
}  // namespace povupdate_cli
