#include "update/zip_install.h"

#include <vector>

#include "update/archive_names.h"
#include "update/update_system.h"

namespace povupdate_cli {
namespace {

struct Member {
  ZipTree::Components components;
  bool directory = false;
};

// What is said of member `shown`: "member 'NAME' WHAT REASON".
std::string MemberProblem(const std::string& shown, const char* what, const std::string& reason) {
  std::string text = "member '";
  text += shown;
  text += "' ";
  text += what;
  text += reason;
  return text;
}

// Extracts one file member's data into its staged file, counting it
// against the bound on the whole archive's unpacked size.
bool StageData(ZipReader& reader, ZipTree& tree, const std::string& shown, std::uint64_t& unpacked,
               std::vector<char>& block, std::string& problem) {
  std::string reason;
  for (;;) {
    std::size_t got = 0;
    if (!reader.Read(block.data(), block.size(), got, reason)) {
      problem = MemberProblem(shown, "is damaged: ", reason);
      return false;
    }
    if (got == 0) break;
    unpacked += got;
    if (unpacked > kMaxZipUnpacked) {
      problem = "the archive unpacks to more than " + std::to_string(kMaxZipUnpacked) + " bytes";
      return false;
    }
    if (!tree.Write(block.data(), got, reason)) {
      problem = MemberProblem(shown, "can't be written: ", reason);
      return false;
    }
  }
  if (!tree.EndFile(reason)) {
    problem = MemberProblem(shown, "can't be written: ", reason);
    return false;
  }
  return true;
}

// Extracts every member into the staging directory; false, with `problem`,
// at the first member that may not be extracted or can't be written.
bool Stage(ZipReader& reader, ZipTree& tree, std::vector<Member>& members, std::string& problem) {
  std::uint64_t unpacked = 0;
  std::vector<char> block(kZipBlock);
  ArchivedMember found;
  ZipReader::Step step;
  while ((step = reader.Next(found, problem)) == ZipReader::Step::kMember) {
    Member member;
    std::string why;
    if (!SplitArchiveName(found.name, member.components, why)) {
      problem = MemberProblem(found.name, "", why);
      return false;
    }
    if (found.kind == ArchivedMember::Kind::kOther) {
      problem = MemberProblem(found.name, "is a link or a special file", "");
      return false;
    }
    if (members.size() == kMaxZipMembers) {
      problem = "the archive has more than " + std::to_string(kMaxZipMembers) + " members";
      return false;
    }
    member.directory = found.kind == ArchivedMember::Kind::kDirectory;
    if (member.directory ? !tree.StageDirectory(member.components, why)
                         : !tree.StageFile(member.components, found.permissions, why)) {
      problem = MemberProblem(found.name, "can't be staged: ", why);
      return false;
    }
    if (!member.directory && !StageData(reader, tree, found.name, unpacked, block, problem)) {
      return false;
    }
    members.push_back(std::move(member));
  }
  return step == ZipReader::Step::kEnd;
}

}  // namespace

bool ExtractZip(HeldFile& archive, const std::string& target, std::string& problem) {
  ZipReader reader;
  ZipTree tree;
  std::vector<Member> members;
  if (!reader.Open(archive, problem) || !tree.Begin(target, problem) ||
      !Stage(reader, tree, members, problem)) {
    return false;
  }
  // Every place is checked before any member moves, so that one that can't
  // be placed leaves the target as it was.
  std::string reason;
  for (const Member& member : members) {
    if (!tree.Reachable(member.components, member.directory, reason)) {
      problem = "the place of '" + member.components.back() +
                "' is beneath a link or no directory: " + reason;
      return false;
    }
  }
  for (const Member& member : members) {
    if (!tree.Place(member.components, member.directory, reason)) {
      problem = "'" + member.components.back() + "' can't be put in place: " + reason;
      return false;
    }
  }
  return true;
}

}  // namespace povupdate_cli
