// Reading and atomically replacing the hive file.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>

namespace ce::registry {

enum class ReadResult { Ok, Missing, Failed };

// Whole file into *contents; on Failed, *reason says why.
ReadResult ReadHiveFile(const std::string& path, std::string* contents, std::string* reason);

// Writes "<path>.tmp" fully, flushes it to the disk and renames it over path, so that a crash leaves either
// the old file or the new one. On failure the temporary file is removed, path is untouched, *reason says
// why and the answer is the error code to report; the HiveRename fault stops the save just before the rename.
LONG WriteHiveFile(const std::string& path, std::string_view contents, std::string* reason);

}  // namespace ce::registry
