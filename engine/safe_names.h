// The test that keeps package names inside the folders they are joined to.
#pragma once

// True for a relative name that stays inside any folder it is appended to:
// not empty, no leading '\' or '/', no ':' (drive prefixes and alternate
// streams), and no component made only of dots and blanks that holds two or
// more dots (".." and the forms Windows folds to it, such as ".. " or "...").
[[nodiscard]] bool IsSafeRelativeName(const char* name);
