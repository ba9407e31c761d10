// A one-line progress bar for long commands, shown only on a terminal.
#pragma once

#include <cstdint>
#include <string>

class TerminalProgress {
 public:
  // Shows nothing unless `enabled` (standard output is a terminal).
  explicit TerminalProgress(bool enabled) : enabled_(enabled) {}
  ~TerminalProgress() { Clear(); }
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  // Redraws the line: a bar, the percentage, the phase and the file.
  void Show(const char* phase, uint64_t done, uint64_t total, const std::string& name);
  // Removes the line, so that later output starts at a clean line.
  void Clear();

 private:
  bool enabled_;
  bool shown_ = false;
};
