// One HTTP or HTTPS request through the system's own stack (libcurl on
// Linux, WinHTTP on Windows). The backend only moves bytes and says what the
// server answered; what a body must be (its length, where it starts, how
// much may come) is judged by the caller, one rule for both systems.
#pragma once

#include <cstdint>
#include <string>

namespace povupdate_cli {

struct TransferOptions {
  // A file of PEM certificates trusted besides the system's store.
  std::string ca_file;
  // Seconds to connect, and seconds without a byte before a transfer
  // counts as stalled.
  long connect_timeout = 15;
  long stall_timeout = 30;
};

// The response's status and framing, as its headers give them (after any
// redirect).
struct Response {
  long status = 0;
  bool has_length = false;
  std::uint64_t length = 0;
  // The first byte of a 206's Content-Range.
  bool has_range = false;
  std::uint64_t range_start = 0;
};

class BodyReceiver {
 public:
  virtual ~BodyReceiver() = default;
  // Called once, before the first byte of the body (also for an empty one);
  // false ends the transfer.
  virtual bool Begin(const Response& response) = 0;
  // False ends the transfer.
  virtual bool Receive(const char* data, std::size_t size) = 0;
};

enum class TransferFailure {
  kNone,
  // Worth another try: the connection was cut, reset or stalled.
  kTransient,
  // Another try would fail alike: no such host, refused, TLS, a redirect
  // not allowed.
  kPermanent,
  // The receiver ended it.
  kStopped,
};

struct TransferOutcome {
  TransferFailure failure = TransferFailure::kNone;
  std::string problem;
};

// GETs `url`, from byte `offset` on when it is above 0 (a Range request).
// At most 5 redirects are followed, never one from HTTPS to HTTP, and only
// to http: and https: URLs. A transfer that ends early with no error from
// the stack reports kNone: counting the bytes is the receiver's work.
TransferOutcome Transfer(const std::string& url, std::uint64_t offset,
                         const TransferOptions& options, BodyReceiver& receiver);

// Sets up the stack once per process; false with `problem` when it can't.
bool StartTransfers(std::string& problem);

}  // namespace povupdate_cli
