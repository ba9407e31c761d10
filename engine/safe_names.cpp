// The test that keeps package names inside the folders they are joined to.
#include "engine/safe_names.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A component of dots and blanks only, with two dots or more: "..", and the
// forms Windows path handling folds into it by dropping trailing dots and
// blanks.
bool IsParentLike(const char* start, const char* end) {
  int dots = 0;
  for (const char* p = start; p < end; ++p) {
    if (*p == '.') {
      ++dots;
    } else if (*p != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

}  // namespace

bool IsSafeRelativeName(const char* name) {
  if (name == nullptr || *name == 0 || IsSeparator(*name)) return false;
  const char* component = name;
  for (const char* p = name;; ++p) {
    if (*p == ':') return false;
    if (*p == 0 || IsSeparator(*p)) {
      if (IsParentLike(component, p)) return false;
      if (*p == 0) return true;
      component = p + 1;
    }
  }
}
