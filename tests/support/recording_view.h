// A progress view that records everything shown, for tests and benchmarks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "report/progress_view.h"

class RecordingProgressView final : public ProgressView {
 public:
  struct Segment {
    std::string text;
    TextStyle style;
  };

  void AppendText(const char* text, const TextStyle& style) override;
  void SetProgressPos(uint32_t position) override { positions.push_back(position); }
  void SetStageLabel(const char* text) override { labels.emplace_back(text); }
  void SetCaption(const char* text) override { captions.emplace_back(text); }

  // All text without styles.
  [[nodiscard]] std::string PlainText() const;
  // All text with each styled run marked: "<b u red>text</>", where b is
  // bold, u underlined and the colour is red, blue (dark blue) or #BBGGRR;
  // text in the normal style (not bold, not underlined, `normalColour`) is
  // written as it is. Consecutive segments of one style are merged.
  [[nodiscard]] std::string StyledText(uint32_t normalColour = kColourDefaultText) const;

  std::vector<Segment> segments;
  std::vector<uint32_t> positions;
  std::vector<std::string> labels;
  std::vector<std::string> captions;
  // Called after each appended text, for tests that act at a given point.
  std::function<void(const std::string& text)> onText;
};
