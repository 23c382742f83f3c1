// A progress bar on standard error for long runs, drawn only on a terminal.
#pragma once

#include <stdint.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace sfxpack {

class ProgressBar {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // Draws on `out` only when `enabled` (the caller passes: standard error is a terminal
  // and --quiet was not given), and only once the run has lasted `delay`, so short runs
  // stay silent. The line is redrawn at most ten times a second.
  ProgressBar(std::FILE* out, bool enabled, std::chrono::milliseconds delay = std::chrono::milliseconds(500),
              Clock clock = std::chrono::steady_clock::now);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // `done` of `total` bytes; `label` is what is being worked on (cut to fit the line).
  void Update(int64_t done, int64_t total, const std::string& label);
  // Clears the line if one was drawn, so that later messages start on a clean line.
  void Finish();

  // True when the stream is a terminal.
  static bool IsTerminal(std::FILE* stream);

 private:
  std::FILE* out_;
  bool enabled_;
  std::chrono::milliseconds delay_;
  Clock clock_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
  bool drawn_ = false;
};

// "[##########----------]  50%  1.5 of 3.0 MiB  label", at most `width` characters.
std::string RenderProgressLine(int64_t done, int64_t total, const std::string& label, size_t width);

}  // namespace sfxpack
