// Feeds arbitrary bytes to the profile reader. Besides the sanitizers' checks it
// traps when the reader allocates more than the input can hold, and when a
// profile it read does not write back the same bytes after a second round.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "schedule/byte_io.h"
#include "schedule/profile_reader.h"
#include "schedule/profile_writer.h"

namespace {

using namespace larkspan::schedule;

std::vector<std::byte> ReadAndWrite(std::span<const std::byte> input, ScheduleTable& table,
                                    KnownMountpoints& known) {
  MemorySource source(input);
  ProfileSettings settings;
  ReadProfile(source, settings, table, known);
  MemorySink sink;
  if (!WriteProfile(sink, settings, table, known)) __builtin_trap();
  return sink.bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ScheduleTable table;
  KnownMountpoints known;
  const std::vector<std::byte> first =
      ReadAndWrite(std::as_bytes(std::span(data, size)), table, known);

  if (table.count() > table.capacity()) __builtin_trap();
  const std::size_t entriesTheInputHolds = size / 784;
  if (table.capacity() > std::max<std::size_t>(1024, 2 * entriesTheInputHolds)) __builtin_trap();
  if (known.size() > size / 512) __builtin_trap();

  ScheduleTable tableAgain;
  KnownMountpoints knownAgain;
  const std::vector<std::byte> second = ReadAndWrite(first, tableAgain, knownAgain);
  // memcmp rather than ==, which compares std::byte one traced comparison at
  // a time and took half of each run.
  if (second.size() != first.size() || std::memcmp(second.data(), first.data(), first.size()) != 0)
    __builtin_trap();
  return 0;
}
