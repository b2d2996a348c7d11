#pragma once

// Profile files built byte by byte from the documented layout, so that tests
// compare the code under test with the layout and not with itself. Nothing
// here includes the schedule's own record code.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace larkspan::schedule::test {

using Bytes = std::string;

inline void Le(Bytes& b, std::size_t offset, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) b[offset + i] = static_cast<char>(value >> (8 * i));
}
inline void Le32(Bytes& b, std::size_t offset, std::int64_t v) {
  Le(b, offset, static_cast<std::uint64_t>(v), 4);
}
inline void Le16(Bytes& b, std::size_t offset, std::int64_t v) {
  Le(b, offset, static_cast<std::uint64_t>(v), 2);
}
inline void Text(Bytes& b, std::size_t offset, std::string_view text) {
  b.replace(offset, text.size(), text);
}

// The head of a first start's profile with `recordingPath` and `entryCount`.
inline Bytes DefaultHead(std::string_view recordingPath, std::int32_t entryCount) {
  Bytes h(2320, '\0');
  Text(h, 0, "sample");
  Text(h, 256, "output.mp3");
  Text(h, 512, recordingPath);
  Le32(h, 1536, entryCount);
  Text(h, 1544, "test.mp3");
  Le16(h, 1800, 32);
  Text(h, 1819, "sound.mp3");
  h[2076] = 1;
  Text(h, 2077, "null");
  Text(h, 2109, "test");
  Text(h, 2125, "#sample");
  Text(h, 2149, "blank");
  h[2167] = 3;
  return h;
}

inline Bytes SectionHead(std::int32_t count) {
  Bytes h(16, '\0');
  Le32(h, 0, count);
  return h;
}

// Entry i named "entry <i>", recording as job slot i, temporary and done today.
inline Bytes SimpleEntry(int i) {
  Bytes e(784, '\0');
  Text(e, 24, "entry " + std::to_string(i));
  Le32(e, 536, i);  // jobSlot
  e[726] = 1;       // doneToday
  return e;
}

// MonitorOptions record i, marked by its first ignored extension "x<i>".
inline Bytes SimpleOptions(int i) {
  Bytes o(4120, '\0');
  Text(o, 1098, "x" + std::to_string(i % 1000));
  return o;
}

inline Bytes SimpleKnown(int i) {
  Bytes k(512, '\0');
  Text(k, 0, "http://127.0.0.1:8000/m" + std::to_string(i));
  Le32(k, 256, 1000 + i);
  return k;
}

// A whole file with `entries` entries, `known` known mountpoints and `options`
// MonitorOptions records; the stored counts default to what is there.
struct ProfileShape {
  int entries = 0;
  int known = 0;
  int options = -1;  // -1: as many as entries
  std::optional<std::int64_t> entryCount = std::nullopt;
  std::optional<std::int64_t> knownCount = std::nullopt;
  std::optional<std::int64_t> optionsCount = std::nullopt;
};

inline Bytes MakeProfile(const ProfileShape& s) {
  const int options = s.options < 0 ? s.entries : s.options;
  Bytes f = DefaultHead("/home/tester/", 0);
  Le32(f, 1536, s.entryCount.value_or(s.entries));
  for (int i = 0; i < s.entries; ++i) f += SimpleEntry(i);
  f += SectionHead(static_cast<std::int32_t>(s.knownCount.value_or(s.known)));
  for (int i = 0; i < s.known; ++i) f += SimpleKnown(i);
  f += SectionHead(static_cast<std::int32_t>(s.optionsCount.value_or(options)));
  for (int i = 0; i < options; ++i) f += SimpleOptions(i);
  return f;
}

// The offset of the first byte that differs, or -1 when the two are equal; the
// shorter one's end counts as a difference.
inline std::int64_t FirstDifference(const Bytes& a, const Bytes& b) {
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    if (a[i] != b[i]) return static_cast<std::int64_t>(i);
  }
  return a.size() == b.size() ? -1 : static_cast<std::int64_t>(std::min(a.size(), b.size()));
}

inline std::filesystem::path ProfileIn(const std::filesystem::path& folder) {
  return folder / "brambly.prf";
}

inline void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace larkspan::schedule::test
