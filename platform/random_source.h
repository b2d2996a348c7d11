#pragma once

namespace larkspan::platform {

// The program's pseudo-random numbers, so that tests can script the draws
// (the Chatter Mode lines of the IRC keep-alive).
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // A number from 0 to RAND_MAX, as the C library's rand() gives.
  virtual int next() = 0;
};

// The C library's generator. The main window seeds it with the time once at
// start-up (std::srand); it is drawn from on the window's thread only.
class SystemRandom final : public RandomSource {
 public:
  int next() override;
};

}  // namespace larkspan::platform
