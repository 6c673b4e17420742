#include "standin/terminal/progress_bar.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace standin {

namespace {
constexpr int kBarWidth = 40;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
}  // namespace

bool standardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(2) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

ProgressBar::ProgressBar(std::ostream *out, std::string label, std::uint64_t total)
    : out_(out), label_(std::move(label)), total_(std::max<std::uint64_t>(total, 1)) {}

void ProgressBar::start() {
  if (out_ == nullptr || finished_) return;
  lastDraw_ = std::chrono::steady_clock::now();
  draw(0, {});
}

bool ProgressBar::update(std::uint64_t done) {
  done_ = std::min(done, total_);
  if (out_ == nullptr || finished_ || done_ < nextLook_) return false;
  nextLook_ = done_ + std::max<std::uint64_t>(1, total_ / 1000);
  const int percent = static_cast<int>(done_ * 100 / total_);
  const auto now = std::chrono::steady_clock::now();
  if (percent == shownPercent_ || now - lastDraw_ < kRedrawInterval) return false;
  lastDraw_ = now;
  draw(percent, {});
  return true;
}

void ProgressBar::finish(std::string_view ending) {
  if (finished_) return;
  finished_ = true;
  if (out_ == nullptr) return;
  draw(ending == "done" ? 100 : static_cast<int>(done_ * 100 / total_), ending);
}

void ProgressBar::draw(int percent, std::string_view ending) {
  shownPercent_ = percent;
  const int filled = percent * kBarWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  char figure[16];
  std::snprintf(figure, sizeof figure, "] %3d%%", percent);
  *out_ << '\r' << label_ << " [" << bar << figure;
  if (!ending.empty()) *out_ << ' ' << ending << '\n';
  out_->flush();
}

void TerminalProgress::start(const std::string &label, std::uint64_t total) {
  bar_.reset();
  if (total < minTotal_) return;
  bar_.emplace(&out_, label, total);
  bar_->start();
  lineOpen_ = true;
}

void TerminalProgress::update(std::uint64_t done) {
  if (bar_ && bar_->update(done)) lineOpen_ = true;
}

void TerminalProgress::finish(std::string_view ending) {
  if (!bar_ || bar_->finished()) return;
  bar_->finish(ending);
  lineOpen_ = false;
}

void TerminalProgress::breakLine() {
  if (!lineOpen_) return;
  out_ << '\n';
  out_.flush();
  lineOpen_ = false;
}

}  // namespace standin
