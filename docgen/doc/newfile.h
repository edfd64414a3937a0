#pragma once

#include "doc/fileio.h"

#include <cstdint>
#include <filesystem>
#include <span>

namespace doc::fileio
{

// Writes bytes to a new file beside target, flushes it as asked, and gives it the target's
// name only if nothing stands there yet: the name holds nothing or the complete file at every
// moment, and whatever was at the name (a file, a link) is left as it was. Throws doc::Error
// (Io) when the name is taken or the file cannot be written; no temporary file is left.
void publishFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes, Access access,
                 Flush flush = Flush::ToDisk);

// Brings everything written to the file system that holds folder onto the disk: one wait for
// a batch of files written with Flush::Skip, instead of one for each.
void flushFileSystemOf(const std::filesystem::path& folder);

} // namespace doc::fileio
