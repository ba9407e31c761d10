// Catalogue texts for the reporting and the stages: never null, so that they
// can be formatted and written even when the string table lacks one.
#pragma once

#include "startup/message_catalogue.h"

[[nodiscard]] inline const char* CatalogueText(MessageKey key) {
  const char* text = LookupText(key);
  return text != nullptr ? text : "";
}
