// What the fuzz checks share: a fuzz input taken apart, a private directory
// for the files they write, and the names a profile file seems to hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace povupdate::fuzz {

// Takes a fuzz input apart from the front. Every read succeeds: an input
// used up gives zeros and empty texts, so that any bytes make a case.
class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size);

  std::uint8_t Byte();
  // Two bytes, the low one first.
  unsigned Number();
  // The bytes before the next '\n', which is dropped; the rest when none.
  std::string Line();
  std::string Rest();

 private:
  std::string_view rest_;
};

// The text a C string built from `bytes` holds: what comes before a NUL.
std::string CText(const std::string& bytes);

// Text without the given characters at either end.
std::string_view Trim(std::string_view text, std::string_view blanks);

// ASCII case-insensitive equality, as profile and registry names compare.
// Written apart from the library's own, as the checks' independent judge.
bool SameName(std::string_view a, std::string_view b);

// A value is one line; a read drops its outer blanks and then one pair of
// matching quotes.
std::string ValueAsRead(std::string_view value);

// A directory of the process's own under $TMPDIR (or /tmp), made on first
// use and removed with everything in it when the process exits.
const std::string& PrivateDirectory();

// Points the library at the private directory, with the system version 6.1:
// its files are found there, and its registry store too, should anything
// ask for it.
void UsePrivateDirectoryAsModuleDirectory();

// False when the file can't be written whole.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);

struct ProfileKey {
  std::string section;
  std::string key;
};

// The sections and the keys under them that a profile file looks to hold,
// by a plain reading of "[section]" and "key=value" lines, without blanks
// around the names and at most `most` of each. The library's reader stays
// the judge of what the file holds; these are only names worth asking for.
struct ProfileNames {
  std::vector<std::string> sections;
  std::vector<ProfileKey> keys;
};
ProfileNames HarvestNames(std::string_view bytes, std::size_t most);

// Prints a failed check's description and aborts, so that libFuzzer keeps
// the input; does nothing for "".
void Report(const std::string& failure);

}  // namespace povupdate::fuzz
