#include "platform/address_resolver.h"

#include <sys/socket.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "platform/network_error.h"
#include "platform/small_stack_thread.h"

namespace larkspan::platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

// How often the wait for the helper looks at the cancel flag.
constexpr std::chrono::milliseconds kCancelSlice{100};

addrinfo StreamHints(int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV | flags;
  return hints;
}

// What the helper hands back. Shared, because the waiter may leave first.
struct PendingLookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  int result = 0;
  int systemError = 0;
  AddressList found;
};

[[noreturn]] void ThrowLookupFailure(const std::string& host, int result, int systemError) {
  if (result == EAI_NONAME || result == EAI_NODATA) throw NetworkError("no such host " + host);
  if (result == EAI_SYSTEM) {
    throw NetworkError("cannot resolve " + host + ": " + std::strerror(systemError), systemError);
  }
  throw NetworkError("cannot resolve " + host + ": " + gai_strerror(result));
}

}  // namespace

AddressList ResolveStreamAddresses(const std::string& host, std::uint16_t port,
                                   SteadyClock::time_point deadline,
                                   const std::atomic<bool>* cancel, AddressLookup lookup) {
  const std::string service = std::to_string(port);
  const addrinfo numeric = StreamHints(AI_NUMERICHOST);
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), service.c_str(), &numeric, &found) == 0)
    return AddressList(found);

  auto pending = std::make_shared<PendingLookup>();
  SmallStackThread helper;
  const bool started = helper.start([pending, host, service, lookup = std::move(lookup)] {
    const addrinfo hints = StreamHints(0);
    addrinfo* result = nullptr;
    const int rc = lookup ? lookup(host.c_str(), service.c_str(), &hints, &result)
                          : ::getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
    const int error = errno;
    const std::lock_guard lock(pending->mutex);
    if (rc == 0) pending->found.reset(result);
    pending->result = rc;
    pending->systemError = error;
    pending->finished = true;
    pending->done.notify_all();
  });
  if (!started) throw NetworkError("cannot resolve " + host + ": no thread for the look-up");
  helper.detach();

  std::unique_lock lock(pending->mutex);
  while (!pending->finished) {
    if (cancel != nullptr && cancel->load(std::memory_order_acquire)) {
      throw NetworkError("cancelled");
    }
    const auto now = SteadyClock::now();
    if (now >= deadline) throw NetworkError("cannot resolve " + host + ": timed out");
    pending->done.wait_until(lock, std::min(deadline, now + kCancelSlice));
  }
  if (pending->result != 0) ThrowLookupFailure(host, pending->result, pending->systemError);
  return std::move(pending->found);
}

}  // namespace larkspan::platform
