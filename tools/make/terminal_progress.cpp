// The progress bar of selfpatch-make's long commands.
#include "tools/make/terminal_progress.h"

#include <cstdio>

namespace {

constexpr int kBarWidth = 24;
constexpr size_t kNameWidth = 40;

}  // namespace

void TerminalProgress::Show(const char* phase, uint64_t done, uint64_t total,
                            const std::string& name) {
  if (!enabled_) return;
  const uint64_t percent = total == 0 ? 100 : done * 100 / total;
  const int filled = static_cast<int>(percent * kBarWidth / 100);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '-');
  // The end of a long name tells more than its start.
  std::string shown = name;
  if (shown.size() > kNameWidth) shown = "..." + shown.substr(shown.size() - (kNameWidth - 3));
  std::printf("\r\x1b[2K[%s] %3u%% %-7s %s", bar.c_str(), static_cast<unsigned>(percent), phase,
              shown.c_str());
  std::fflush(stdout);
  shown_ = true;
}

void TerminalProgress::Clear() {
  if (!shown_) return;
  std::printf("\r\x1b[2K");
  std::fflush(stdout);
  shown_ = false;
}
