#pragma once

#include <cstddef>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/random_source.h"

namespace larkspan::test {

// Hands out the given draws in order; a draw past the end is a test failure.
class ScriptedRandom final : public platform::RandomSource {
 public:
  explicit ScriptedRandom(std::vector<int> draws) : draws_(std::move(draws)) {}

  int next() override {
    if (used_ >= draws_.size()) throw std::logic_error("more random draws than scripted");
    return draws_[used_++];
  }
  std::size_t used() const { return used_; }

 private:
  std::vector<int> draws_;
  std::size_t used_ = 0;
};

}  // namespace larkspan::test
