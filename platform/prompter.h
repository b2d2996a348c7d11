#pragma once

#include <string>

namespace larkspan::platform {

// The caption of every message box the program shows.
inline constexpr const char* kMessageCaption = "Larkspan v. 1.37b";

// Message boxes. Recording threads call warning() too: an implementation must
// never make them wait for the window's thread.
class Prompter {
 public:
  virtual ~Prompter() = default;
  virtual void warning(const std::string& text) = 0;
  virtual void information(const std::string& text) = 0;
  // A Yes/No question; true only for Yes.
  virtual bool askYesNo(const std::string& text) = 0;
};

// For the program without windows: one line per box on standard error, and
// every question answered No.
class StderrPrompter final : public Prompter {
 public:
  void warning(const std::string& text) override;
  void information(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
};

}  // namespace larkspan::platform
