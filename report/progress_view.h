// The front end that shows the running account of an update: styled text,
// the progress bar, the stage label and the window caption.
#pragma once

#include <cstdint>

// Colours are 0x00BBGGRR values, as the platform's colour words are.
inline constexpr uint32_t kColourRed = 0x0000FF;
inline constexpr uint32_t kColourDarkBlue = 0x800000;
// The usual window-text colour; front ends that know the system's own set
// ProgressLog::normalColour instead.
inline constexpr uint32_t kColourDefaultText = 0x000000;

struct TextStyle {
  bool bold = false;
  bool underline = false;
  uint32_t colour = kColourDefaultText;
};

// Every call comes from the thread that runs the stages. Appended text may be
// shown a moment later (the wizard shows it in batches), but always before
// the next question and before the run ends; the other calls take effect
// before they return.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // Appends `text` (NUL-terminated, never null) at the end of the view in
  // `style`. Text is only ever appended.
  virtual void AppendText(const char* text, const TextStyle& style) = 0;
  // Progress bar position, 0 to 100.
  virtual void SetProgressPos(uint32_t position) = 0;
  virtual void SetStageLabel(const char* text) = 0;
  virtual void SetCaption(const char* text) = 0;
};

// A view that shows nothing.
class NullProgressView final : public ProgressView {
 public:
  void AppendText(const char*, const TextStyle&) override {}
  void SetProgressPos(uint32_t) override {}
  void SetStageLabel(const char*) override {}
  void SetCaption(const char*) override {}
};
