// A progress view that records everything shown.
#include "tests/support/recording_view.h"

#include <cstdio>

void RecordingProgressView::AppendText(const char* text, const TextStyle& style) {
  segments.push_back({text, style});
  if (onText) onText(segments.back().text);
}

std::string RecordingProgressView::PlainText() const {
  std::string all;
  for (const Segment& segment : segments) all += segment.text;
  return all;
}

namespace {

bool SameStyle(const TextStyle& a, const TextStyle& b) {
  return a.bold == b.bold && a.underline == b.underline && a.colour == b.colour;
}

std::string StyleTag(const TextStyle& style, uint32_t normalColour) {
  std::string tag;
  if (style.bold) tag += " b";
  if (style.underline) tag += " u";
  if (style.colour == kColourRed) {
    tag += " red";
  } else if (style.colour == kColourDarkBlue) {
    tag += " blue";
  } else if (style.colour != normalColour) {
    char hex[16];
    std::snprintf(hex, sizeof hex, " #%06X", style.colour);
    tag += hex;
  }
  return tag.empty() ? tag : "<" + tag.substr(1) + ">";
}

}  // namespace

std::string RecordingProgressView::StyledText(uint32_t normalColour) const {
  std::string all;
  size_t i = 0;
  while (i < segments.size()) {
    const TextStyle& style = segments[i].style;
    std::string run;
    while (i < segments.size() && SameStyle(segments[i].style, style)) run += segments[i++].text;
    const std::string tag = StyleTag(style, normalColour);
    all += tag.empty() ? run : tag + run + "</>";
  }
  return all;
}
