#include "platform/http_reply.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/network_error.h"
#include "platform/text.h"

namespace larkspan::platform {
namespace {

constexpr std::size_t kPendingSize = 4096;
constexpr std::size_t kMaxLineLength = 1024;  // chunk-size and trailer lines
constexpr std::size_t kMaxTrailerLines = 64;
constexpr int kMaxInformationalReplies = 8;
constexpr std::string_view kStatusPrefix = "HTTP/";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Chunk sizes above this are taken as hostile: no stream sends a chunk of a
// petabyte, and it keeps the arithmetic far from overflow.
constexpr std::uint64_t kMaxChunkSize = std::uint64_t{1} << 50;

std::uint64_t ParseChunkSize(std::string_view line) {
  line = Trim(line);
  std::uint64_t value = 0;
  std::size_t i = 0;
  for (; i < line.size() && HexValue(line[i]) >= 0; ++i) {
    value = value * 16 + static_cast<std::uint64_t>(HexValue(line[i]));
    if (value > kMaxChunkSize) throw NetworkError("chunk size too large");
  }
  if (i == 0) throw NetworkError("bad chunk size");
  const std::string_view rest = Trim(line.substr(i));
  if (!rest.empty() && rest.front() != ';') throw NetworkError("bad chunk size");
  return value;
}

std::uint64_t ParseContentLength(std::string_view value) {
  value = Trim(value);
  if (value.empty() || value.size() > 18) throw NetworkError("bad Content-Length");
  std::uint64_t n = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') throw NetworkError("bad Content-Length");
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return n;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view word) {
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (EqualsIgnoringCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

}  // namespace

HttpReply::HttpReply(ByteStream& stream, std::size_t keepLimit)
    : stream_(stream), pending_(kPendingSize), keepLimit_(keepLimit) {}

void HttpReply::compactPending() {
  if (pendingBegin_ == 0) return;
  std::memmove(pending_.data(), pending_.data() + pendingBegin_, pendingSize());
  pendingEnd_ -= pendingBegin_;
  pendingBegin_ = 0;
}

bool HttpReply::fill(std::size_t most) {
  if (streamEnded_) return false;
  if (pendingEnd_ == pending_.size()) compactPending();
  if (pendingEnd_ == pending_.size()) {
    // Only a head still being searched for its end grows the buffer; the
    // caller stops at kMaxHeadBytes.
    pending_.resize(std::min(pending_.size() * 2, kMaxHeadBytes + kPendingSize));
    if (pendingEnd_ == pending_.size()) throw NetworkError("reply line too long");
  }
  const std::size_t n = stream_.readSome(pending_.data() + pendingEnd_,
                                         std::min(pending_.size() - pendingEnd_, most));
  if (n == 0) {
    streamEnded_ = true;
    return false;
  }
  pendingEnd_ += n;
  return true;
}

bool HttpReply::readLine(std::string& line, std::size_t maxLength) {
  for (;;) {
    const char* begin = pending_.data() + pendingBegin_;
    const void* lf = std::memchr(begin, '\n', pendingSize());
    if (lf != nullptr) {
      const auto length = static_cast<std::size_t>(static_cast<const char*>(lf) - begin);
      if (length > maxLength) throw NetworkError("reply line too long");
      line.assign(begin, length);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      pendingBegin_ += length + 1;
      return true;
    }
    if (pendingSize() > maxLength) throw NetworkError("reply line too long");
    if (!fill()) return false;
  }
}

void HttpReply::readHead() {
  // A reply is HTTP only when it begins with "HTTP/"; anything else, however
  // short, is body.
  for (;;) {
    const std::size_t have = pendingSize();
    const std::size_t compared = std::min(have, kStatusPrefix.size());
    if (std::memcmp(pending_.data() + pendingBegin_, kStatusPrefix.data(), compared) != 0) break;
    if (have >= kStatusPrefix.size()) break;
    if (!fill()) break;
  }
  if (pendingSize() < kStatusPrefix.size() ||
      std::memcmp(pending_.data() + pendingBegin_, kStatusPrefix.data(), kStatusPrefix.size()) !=
          0) {
    statusCode_ = 200;
    rawHead_.clear();
    mode_ = BodyMode::UntilClose;
    return;
  }

  for (int informational = 0;; ++informational) {
    std::size_t scanFrom = 0;
    std::size_t headLength = 0;
    for (;;) {
      const std::string_view text(pending_.data() + pendingBegin_, pendingSize());
      for (std::size_t i = scanFrom; i < text.size() && headLength == 0; ++i) {
        if (text[i] != '\n') continue;
        if (i + 1 < text.size() && text[i + 1] == '\n')
          headLength = i + 2;
        else if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n')
          headLength = i + 3;
      }
      if (headLength != 0) break;
      scanFrom = text.size() >= 2 ? text.size() - 2 : 0;
      if (pendingSize() >= kMaxHeadBytes) throw NetworkError("reply head too large");
      if (!fill()) throw NetworkError("connection closed inside the reply head");
    }
    parseHead(headLength);
    pendingBegin_ += headLength;
    if (statusCode_ >= 200 || informational >= kMaxInformationalReplies) break;
    // An informational reply (100 Continue) is followed by the real one.
    while (pendingSize() < kStatusPrefix.size()) {
      if (!fill()) throw NetworkError("connection closed after an informational reply");
    }
    if (std::memcmp(pending_.data() + pendingBegin_, kStatusPrefix.data(), kStatusPrefix.size()) !=
        0) {
      throw NetworkError("malformed reply after an informational reply");
    }
  }
  if (statusCode_ < 200) throw NetworkError("too many informational replies");

  // Give back the room a large head needed; a body needs little.
  if (pending_.size() > kPendingSize && pendingSize() <= kPendingSize) {
    compactPending();
    pending_.resize(kPendingSize);
    pending_.shrink_to_fit();
  }
}

void HttpReply::parseHead(std::size_t headLength) {
  const std::string_view head(pending_.data() + pendingBegin_, headLength);
  rawHead_.clear();
  bool chunked = false;
  bool hasLength = false;
  std::uint64_t length = 0;
  bool first = true;
  std::size_t position = 0;
  while (position < head.size()) {
    std::size_t lf = head.find('\n', position);
    if (lf == std::string_view::npos) lf = head.size();
    std::string_view line = head.substr(position, lf - position);
    position = lf + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    rawHead_.append(line);
    rawHead_.append("\r\n");
    if (first) {
      first = false;
      // "HTTP/1.1 200 OK": the code is the three digits after the first blank.
      const std::size_t blank = line.find(' ');
      if (blank == std::string_view::npos) throw NetworkError("malformed status line");
      const std::string_view rest = Trim(line.substr(blank));
      if (rest.size() < 3 || (rest.size() > 3 && rest[3] != ' ') ||
          !std::all_of(rest.begin(), rest.begin() + 3,
                       [](char c) { return c >= '0' && c <= '9'; })) {
        throw NetworkError("malformed status line");
      }
      statusCode_ = (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = line.substr(colon + 1);
    if (EqualsIgnoringCase(name, "Content-Length")) {
      const std::uint64_t n = ParseContentLength(value);
      if (hasLength && n != length) throw NetworkError("conflicting Content-Length");
      hasLength = true;
      length = n;
    } else if (EqualsIgnoringCase(name, "Transfer-Encoding") &&
               ContainsIgnoringCase(value, "chunked")) {
      chunked = true;
    }
  }
  rawHead_.append("\r\n");

  if (statusCode_ < 200 || statusCode_ == 204 || statusCode_ == 304) {
    mode_ = BodyMode::Empty;
  } else if (chunked) {
    mode_ = BodyMode::Chunked;
    chunkState_ = ChunkState::SizeLine;
  } else if (hasLength) {
    mode_ = length == 0 ? BodyMode::Empty : BodyMode::Length;
    remaining_ = length;
  } else {
    mode_ = BodyMode::UntilClose;
  }
}

std::size_t HttpReply::takePending(char* buffer, std::size_t max) {
  const std::size_t n = std::min(max, pendingSize());
  std::memcpy(buffer, pending_.data() + pendingBegin_, n);
  pendingBegin_ += n;
  if (pendingBegin_ == pendingEnd_) pendingBegin_ = pendingEnd_ = 0;
  return n;
}

std::size_t HttpReply::readChunked(char* buffer, std::size_t max) {
  std::string line;
  for (;;) {
    switch (chunkState_) {
      case ChunkState::SizeLine: {
        if (!readLine(line, kMaxLineLength))
          throw NetworkError("connection closed inside a chunked body");
        remaining_ = ParseChunkSize(line);
        chunkState_ = remaining_ == 0 ? ChunkState::Trailers : ChunkState::Data;
        break;
      }
      case ChunkState::Data: {
        if (pendingSize() == 0 && !fill()) throw NetworkError("connection closed inside a chunk");
        const std::size_t n =
            takePending(buffer, static_cast<std::size_t>(std::min<std::uint64_t>(max, remaining_)));
        remaining_ -= n;
        if (remaining_ == 0) chunkState_ = ChunkState::DataEnd;
        return n;
      }
      case ChunkState::DataEnd: {
        if (!readLine(line, kMaxLineLength))
          throw NetworkError("connection closed inside a chunked body");
        if (!line.empty()) throw NetworkError("bad chunk end");
        chunkState_ = ChunkState::SizeLine;
        break;
      }
      case ChunkState::Trailers: {
        for (std::size_t count = 0;; ++count) {
          if (count >= kMaxTrailerLines) throw NetworkError("too many trailer lines");
          if (!readLine(line, kMaxLineLength) || line.empty()) break;
        }
        chunkState_ = ChunkState::Done;
        break;
      }
      case ChunkState::Done:
        return 0;
    }
  }
}

std::size_t HttpReply::readBodyFromNetwork(char* buffer, std::size_t max) {
  if (bodyEnded_) return 0;
  std::size_t n = 0;
  switch (mode_) {
    case BodyMode::Empty:
      break;
    case BodyMode::UntilClose:
      // A recording asks for 1,023 bytes at a time; reading ahead into the
      // pending buffer takes several of its reads in one system call.
      if (pendingSize() == 0 && max < pending_.size()) fill();
      if (pendingSize() > 0)
        n = takePending(buffer, max);
      else if (!streamEnded_)
        n = stream_.readSome(buffer, max);
      break;
    case BodyMode::Length: {
      const auto limit = static_cast<std::size_t>(std::min<std::uint64_t>(max, remaining_));
      if (limit == 0) break;
      // The same read-ahead, never past the body's end (a stream server
      // announces a length it never reaches).
      if (pendingSize() == 0 && limit < pending_.size() && remaining_ > limit)
        fill(static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, pending_.size())));
      if (pendingSize() > 0)
        n = takePending(buffer, limit);
      else if (!streamEnded_)
        n = stream_.readSome(buffer, limit);
      remaining_ -= n;
      break;
    }
    case BodyMode::Chunked:
      n = readChunked(buffer, max);
      break;
  }
  if (n == 0) bodyEnded_ = true;
  return n;
}

void HttpReply::keep(const char* data, std::size_t n) {
  if (keptOverflowed_) return;
  if (kept_.size() + n > keepLimit_) {
    keptOverflowed_ = true;
    freeKept();
    return;
  }
  kept_.append(data, n);
}

std::size_t HttpReply::read(char* buffer, std::size_t count) {
  std::size_t got = 0;
  if (replaying_) {
    got = std::min(count, kept_.size() - replayPosition_);
    std::memcpy(buffer, kept_.data() + replayPosition_, got);
    replayPosition_ += got;
    if (replayPosition_ == kept_.size()) {
      replaying_ = false;
      // Bytes that are no longer kept for a replay are needed only until
      // the replay has been read.
      if (keptOverflowed_) freeKept();
    }
  }
  if (hasDeferredError_) {
    if (got > 0) return got;
    throw NetworkError(deferredError_);
  }
  while (got < count) {
    std::size_t n = 0;
    try {
      n = readBodyFromNetwork(buffer + got, count - got);
    } catch (const NetworkError& e) {
      // The stream is broken from here on; every later read reports it.
      hasDeferredError_ = true;
      deferredError_ = e.what();
      if (got == 0) throw;
      return got;
    }
    if (n == 0) break;
    keep(buffer + got, n);
    got += n;
  }
  return got;
}

void HttpReply::seekToBodyStart() {
  if (keptOverflowed_) throw NetworkError("cannot reposition: more body was read than was kept");
  replayPosition_ = 0;
  replaying_ = !kept_.empty();
}

void HttpReply::freeKept() {
  std::string().swap(kept_);
  replayPosition_ = 0;
}

void HttpReply::dropKeptBytes() {
  if (replaying_) {
    kept_.erase(0, replayPosition_);
    replayPosition_ = 0;
  } else {
    freeKept();
  }
  keptOverflowed_ = true;
}

}  // namespace larkspan::platform
