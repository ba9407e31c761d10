// Hidden temporary files named by the system, and package entries written
// into them.
#pragma once

#include <cstdint>

#include "platform/file.h"

struct RunContext;

// Makes a new hidden temporary file sfpXXXX.tmp in `folder`, or in the
// system's folder for temporary files when `folder` is null, open for reading
// and writing and shared for both. Its name is left in context.TempFileName
// (emptied first). Not open on failure, with TempFileName empty and no file
// left behind.
[[nodiscard]] platform::File CreateTempFile(RunContext& context, const char* folder);

// CreateTempFile, then the entry whose local header is given decompressed
// into it, then closed. True on success, the file's name in TempFileName; on
// failure the file is deleted and TempFileName emptied.
[[nodiscard]] bool ExtractEntryToTemp(RunContext& context, const uint8_t* localHeader,
                                      const char* folder);

// Deletes the file named in TempFileName, if any, and empties the name.
void DeleteTempFile(RunContext& context);
