#pragma once

#include <netdb.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace larkspan::platform {

struct AddressListDeleter {
  void operator()(addrinfo* a) const { freeaddrinfo(a); }
};
// A host's addresses, as getaddrinfo gives them.
using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

// A blocking look-up with getaddrinfo's contract: 0 or an EAI_ code, the
// list in `found`, to be freed with freeaddrinfo.
using AddressLookup = std::function<int(const char* host, const char* service,
                                        const addrinfo* hints, addrinfo** found)>;

// The addresses (IPv4 and IPv6) to connect a stream socket to `host` and
// `port`. A numeric address is taken at once. A name is looked up on a
// helper thread, so that the wait ends at `deadline`, or as soon as `cancel`
// becomes true, whatever the resolver does (with DNS failing, getaddrinfo
// can take minutes); the helper finishes on its own and frees what it found.
// Throws NetworkError: "no such host {host}", "cannot resolve {host}: ...".
// `lookup` stands in for getaddrinfo when given.
AddressList ResolveStreamAddresses(const std::string& host, std::uint16_t port,
                                   std::chrono::steady_clock::time_point deadline,
                                   const std::atomic<bool>* cancel, AddressLookup lookup = {});

}  // namespace larkspan::platform
