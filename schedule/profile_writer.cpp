#include "schedule/profile_writer.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include "schedule/profile_records.h"

namespace larkspan::schedule {

namespace {

// Collects encoded records and hands them to the sink in large blocks, so that
// a profile of tens of megabytes costs a few dozen writes.
class RecordBuffer {
 public:
  // `total` is what will be written, so that a small profile takes a small
  // buffer.
  RecordBuffer(ByteSink& sink, std::uint64_t total)
      : sink_(sink),
        size_(
            static_cast<std::size_t>(std::clamp<std::uint64_t>(total, kLargestRecord, kBlockSize))),
        buffer_(std::make_unique_for_overwrite<std::byte[]>(size_)) {}

  // Room for the next record of N bytes, valid until the next call. Its bytes
  // are not cleared: the encoders write every byte of a record.
  template <std::size_t N>
  std::span<std::byte, N> next() {
    static_assert(N <= kLargestRecord);
    if (used_ + N > size_) flush();
    const std::size_t at = used_;
    used_ += N;
    return std::span<std::byte, N>(buffer_.get() + at, N);
  }

  bool flush() {
    if (ok_ && used_ > 0) ok_ = sink_.write(std::span<const std::byte>(buffer_.get(), used_));
    used_ = 0;
    return ok_;
  }

  bool ok() const { return ok_; }

 private:
  static constexpr std::size_t kBlockSize = std::size_t{1} << 20;
  static constexpr std::size_t kLargestRecord = records::kMonitorOptionsSize;
  ByteSink& sink_;
  std::size_t size_;
  std::unique_ptr<std::byte[]> buffer_;
  std::size_t used_ = 0;
  bool ok_ = true;
};

bool FitsCount(std::size_t count) {
  return count <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
}

}  // namespace

bool WriteProfile(ByteSink& sink, const ProfileSettings& settings, const ScheduleTable& table,
                  const KnownMountpoints& knownMountpoints) {
  const std::size_t count = table.count();
  if (!FitsCount(count) || !FitsCount(knownMountpoints.size())) return false;
  const auto entryCount = static_cast<std::int32_t>(count);

  const std::uint64_t total =
      records::kSettingsSize + 2 * records::kSectionHeadSize +
      std::uint64_t{count} * records::kEntrySize +
      std::uint64_t{knownMountpoints.size()} * records::kKnownMountpointSize +
      std::uint64_t{count} * records::kMonitorOptionsSize;
  RecordBuffer out(sink, total);
  records::EncodeSettings(settings, entryCount, out.next<records::kSettingsSize>());
  for (std::size_t i = 0; i < count && out.ok(); ++i) {
    records::EncodeEntry(table.entry(i), out.next<records::kEntrySize>());
  }
  records::EncodeSectionHead(static_cast<std::int32_t>(knownMountpoints.size()),
                             out.next<records::kSectionHeadSize>());
  for (const KnownMountpoint& known : knownMountpoints) {
    if (!out.ok()) break;
    records::EncodeKnownMountpoint(known, out.next<records::kKnownMountpointSize>());
  }
  records::EncodeSectionHead(entryCount, out.next<records::kSectionHeadSize>());
  for (std::size_t i = 0; i < count && out.ok(); ++i) {
    records::EncodeMonitorOptions(table.options(i), out.next<records::kMonitorOptionsSize>());
  }
  return out.flush();
}

}  // namespace larkspan::schedule
