#pragma once

#include <cstddef>
#include <string>

#include "logging/log_files.h"

// The name of kept file `index`: "tarsel.log" gives "tarsel.3.log" for 3, and
// itself for 0.
std::string RotatedLogName(const std::string& name, size_t index);

// Moves `name` to kept file 1 and the older kept files one place up, keeping
// at most `kept` (one or more). Returns what stopped it ("could not rename a to b: why"), or
// an empty string once done. A stop loses no file's content: it can leave one
// gap in the row, which the next call fills instead of dropping another file.
std::string ShiftLogFiles(LogFileSystem& files, const std::string& name, size_t kept);
