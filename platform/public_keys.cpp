#include "platform/public_keys.h"

namespace povupdate {
namespace {

constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
constexpr std::string_view kEnd = "-----END PUBLIC KEY-----";
constexpr std::string_view kBlanks = " \t\r\n";

}  // namespace

PublicKeys::~PublicKeys() {
  for (backend::PublicKey* key : keys_) {
    if (key != nullptr) backend::FreePublicKey(key);
  }
}

PublicKeys::Status PublicKeys::Read(std::string_view text) {
  std::size_t at = 0;
  for (;;) {
    at = text.find_first_not_of(kBlanks, at);
    if (at == std::string_view::npos) break;
    if (text.substr(at, kBegin.size()) != kBegin) return Status::kDamaged;
    const std::size_t end = text.find(kEnd, at + kBegin.size());
    // A block within the block, or no end: another kind of text.
    if (end == std::string_view::npos ||
        text.substr(at + kBegin.size(), end - at - kBegin.size()).find('-') !=
            std::string_view::npos) {
      return Status::kDamaged;
    }
    const std::size_t block_end = end + kEnd.size();
    bool available = true;
    // The place first, so that a key once imported is always freed.
    keys_.push_back(nullptr);
    keys_.back() = backend::ImportPublicKey(text.substr(at, block_end - at), available);
    if (!available) return Status::kNoCryptography;
    if (keys_.back() == nullptr) return Status::kDamaged;
    at = block_end;
  }
  return keys_.empty() ? Status::kDamaged : Status::kRead;
}

bool PublicKeys::Verify(std::string_view message, const SignatureSection& section) const {
  for (const backend::PublicKey* key : keys_) {
    if (backend::VerifySignature(*key, message, section)) return true;
  }
  return false;
}

}  // namespace povupdate
