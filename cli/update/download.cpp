#include "update/download.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

namespace povupdate_cli {
namespace {

constexpr int kAttempts = 4;
constexpr std::chrono::milliseconds kFirstPause{1000};

std::string Text(std::uint64_t number) { return std::to_string(number); }

// The ".part" file and the rules every body written to it obeys.
class PartFile : public BodyReceiver {
 public:
  PartFile(const DownloadPlan& plan, std::uint64_t offset)
      : plan_(plan), path_(plan.path + ".part"), offset_(offset) {}
  ~PartFile() override { Close(); }
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  bool Open(bool append) {
    file_ = std::fopen(path_.c_str(), append ? "ab" : "wb");
    if (file_ == nullptr) problem_ = "can't be written: " + std::string(std::strerror(errno));
    return file_ != nullptr;
  }

  // False when the last write or the flush failed.
  bool Close() {
    if (file_ == nullptr) return true;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed && problem_.empty()) {
      problem_ = "can't be written: " + std::string(std::strerror(errno));
    }
    return closed;
  }

  bool Begin(const Response& response) override {
    response_ = response;
    if (response.status == 200 && offset_ > 0) {
      // The server sends the whole file again, not the rest.
      Close();
      offset_ = 0;
      if (!Open(false)) return false;
    } else if (response.status == 206) {
      if (!response.has_range || response.range_start != offset_) {
        problem_ = "the server resumed at another byte than asked";
        start_over_ = true;
        return false;
      }
    } else if (response.status == 416 && offset_ > 0) {
      problem_ = "the server's file ends after " + Text(offset_) +
                 " bytes, shorter than the entry's Size of " + Text(plan_.size);
      start_over_ = true;
      return false;
    } else if (response.status != 200) {
      problem_ = "the server answered HTTP " + std::to_string(response.status);
      return false;
    }
    if (response.has_length && offset_ + response.length > plan_.size) {
      problem_ =
          "the server sends " + Text(offset_ + response.length) + " bytes, more than " + Bound();
      start_over_ = true;
      return false;
    }
    return true;
  }

  bool Receive(const char* data, std::size_t size) override {
    if (offset_ + received_ + size > plan_.size) {
      problem_ = "the server sent more than " + Bound();
      start_over_ = true;
      return false;
    }
    if (std::fwrite(data, 1, size, file_) != size) {
      problem_ = "can't be written: " + std::string(std::strerror(errno));
      return false;
    }
    received_ += size;
    if (plan_.progress) plan_.progress(offset_ + received_, plan_.size);
    return true;
  }

  std::string Bound() const {
    return (plan_.exact ? "the entry's Size of " : "the most taken, ") + Text(plan_.size) +
           " bytes";
  }

  // Whether the body came whole: as long as its Content-Length said.
  bool BodyWhole() const { return !response_.has_length || received_ == response_.length; }
  std::uint64_t total() const { return offset_ + received_; }
  std::uint64_t received() const { return received_; }
  const std::string& problem() const { return problem_; }
  // What was written can't be resumed from.
  bool start_over() const { return start_over_; }
  const std::string& path() const { return path_; }

 private:
  const DownloadPlan& plan_;
  std::string path_;
  std::FILE* file_ = nullptr;
  Response response_;
  std::uint64_t offset_;
  std::uint64_t received_ = 0;
  std::string problem_;
  bool start_over_ = false;
};

std::uint64_t PartSize(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<std::uint64_t>(size);
}

enum class Step { kDone, kRetry, kFail };

Step TryOnce(const DownloadPlan& plan, std::string& problem) {
  const std::string part_path = plan.path + ".part";
  std::uint64_t offset = plan.exact ? PartSize(part_path) : 0;
  if (offset > plan.size) offset = 0;
  PartFile part(plan, offset);
  if (plan.exact && offset == plan.size) return Step::kDone;
  if (!part.Open(offset > 0)) {
    problem = part_path + " " + part.problem();
    return Step::kFail;
  }
  const TransferOutcome outcome = Transfer(plan.url, offset, plan.options, part);
  const bool written = part.Close();
  if (!written || (outcome.failure == TransferFailure::kStopped && !part.problem().empty())) {
    const bool local = part.problem().rfind("can't be written", 0) == 0;
    problem = local ? part_path + " " + part.problem() : plan.url + ": " + part.problem();
    if (part.start_over()) {
      std::error_code ignored;
      std::filesystem::remove(part_path, ignored);
    }
    return Step::kFail;
  }
  if (outcome.failure == TransferFailure::kPermanent) {
    problem = plan.url + ": " + outcome.problem;
    return Step::kFail;
  }
  if (outcome.failure == TransferFailure::kTransient || !part.BodyWhole() ||
      (plan.exact && part.total() < plan.size)) {
    problem = plan.url + ": " +
              (outcome.failure == TransferFailure::kTransient ? outcome.problem
                                                              : "the connection ended early") +
              " after " + Text(part.total()) + " of " + Text(plan.size) + " bytes";
    return Step::kRetry;
  }
  return Step::kDone;
}

}  // namespace

bool IsHttpUrl(const std::string& url) {
  const auto starts = [&url](const char* scheme) {
    const std::size_t length = std::strlen(scheme);
    if (url.size() < length) return false;
    for (std::size_t i = 0; i < length; ++i) {
      if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return false;
    }
    return true;
  };
  return starts("http://") || starts("https://");
}

bool Download(const DownloadPlan& plan, std::string& problem) {
  if (!IsHttpUrl(plan.url)) {
    problem = plan.url + ": only http: and https: URLs are downloaded";
    return false;
  }
  auto pause = kFirstPause;
  for (int attempt = 1;; ++attempt) {
    const Step step = TryOnce(plan, problem);
    if (step == Step::kFail) return false;
    if (step == Step::kDone) break;
    if (attempt == kAttempts) return false;
    std::this_thread::sleep_for(pause);
    pause *= 2;
  }
  std::error_code error;
  std::filesystem::rename(plan.path + ".part", plan.path, error);
  if (error) {
    problem = plan.path + " can't be put in place: " + error.message();
    return false;
  }
  return true;
}

}  // namespace povupdate_cli
