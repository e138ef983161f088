// A key file and an update file's signature section, read and verified as
// the library does: no input may crash either, and none may verify under the
// real key unless it is what that key signed (any key of the input's own
// may verify what it signed: a seed holds one).
//
// Input: a flags byte, the key text's length (two bytes, low first) and the
// key text, then the update file's bytes. Flag 1 takes the real key file
// instead of the input's key text.
#include <ctime>

#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"
#include "platform/signed_file.h"

namespace povupdate::fuzz {
namespace {

constexpr std::uint8_t kRealKey = 1;

std::string SigningFixture(const char* name) {
  return ReadFileBytes(std::string(POVUPDATE_SOURCE_DIR) + "/tests/signing/" + name);
}

}  // namespace

std::string CheckSignature(const std::uint8_t* data, std::size_t size) {
  static const std::string real_key = SigningFixture("publisher.pub");
  static const std::string signed_file = SigningFixture("good.ini");
  InputReader input(data, size);
  const std::uint8_t flags = input.Byte();
  const unsigned key_size = input.Number();
  std::string key_text;
  for (unsigned i = 0; i < key_size; ++i) key_text += static_cast<char>(input.Byte());
  if ((flags & kRealKey) != 0) key_text = real_key;
  const std::string file = input.Rest();

  const TrustVerdict verdict = JudgeUpdateFile(file, "Update_6.1.ini", key_text,
                                               static_cast<std::int64_t>(std::time(nullptr)));
  if (DescribeTrust(verdict).empty()) return "a verdict without a description";
  // Of the real key alone is it known what it signed: the good file, and
  // files refused for their name or their expiry.
  if (verdict.trust != Trust::kTrusted || (flags & kRealKey) == 0) return "";
  const SignatureSection real = ReadSignatureSection(signed_file);
  if (file.compare(0, verdict.section.signed_size, signed_file, 0, real.signed_size) != 0 ||
      verdict.section.signed_size != real.signed_size) {
    return "bytes the real key never signed verified";
  }
  return "";
}

}  // namespace povupdate::fuzz
