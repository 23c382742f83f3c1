// The progress bar: one line redrawn in place with a carriage return.
#include "tools/sfx_pack/progress.h"

#include <unistd.h>

#include <algorithm>

namespace sfxpack {

namespace {
constexpr size_t kLineWidth = 79;
constexpr size_t kBarWidth = 24;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
}  // namespace

std::string RenderProgressLine(int64_t done, int64_t total, const std::string& label, size_t width) {
  double fraction = total > 0 ? std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0) : 1.0;
  size_t filled = static_cast<size_t>(fraction * kBarWidth);
  char figures[64];
  std::snprintf(figures, sizeof figures, "] %3d%%  %.1f of %.1f MiB  ", static_cast<int>(fraction * 100),
                static_cast<double>(done) / 1048576.0, static_cast<double>(total) / 1048576.0);
  std::string line(1, '[');
  line.append(filled, '#').append(kBarWidth - filled, '-').append(figures);
  // The label's end is what tells files apart, so a long one loses its beginning.
  size_t room = line.size() < width ? width - line.size() : 0;
  if (label.size() <= room) line += label;
  else if (room > 3) line.append("...").append(label, label.size() - (room - 3), std::string::npos);
  return line.substr(0, width);
}

ProgressBar::ProgressBar(std::FILE* out, bool enabled, std::chrono::milliseconds delay, Clock clock)
    : out_(out), enabled_(enabled), delay_(delay), clock_(std::move(clock)), start_(clock_()) {}

ProgressBar::~ProgressBar() { Finish(); }

bool ProgressBar::IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

void ProgressBar::Update(int64_t done, int64_t total, const std::string& label) {
  if (!enabled_) return;
  auto now = clock_();
  if (now - start_ < delay_ || (drawn_ && now - lastDraw_ < kRedrawInterval)) return;
  std::string line = RenderProgressLine(done, total, label, kLineWidth);
  std::fprintf(out_, "\r%-*s", static_cast<int>(kLineWidth), line.c_str());
  std::fflush(out_);
  drawn_ = true;
  lastDraw_ = now;
}

void ProgressBar::Finish() {
  if (!drawn_) return;
  std::fprintf(out_, "\r%*s\r", static_cast<int>(kLineWidth), "");
  std::fflush(out_);
  drawn_ = false;
}

}  // namespace sfxpack
