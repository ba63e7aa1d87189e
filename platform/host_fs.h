// Host file layer. Every file operation of the system goes through here, so that the model's
// Windows paths ("c:\temp\calls\Swisk_000.00.04_00.wav") behave on this host as they did there:
//  - "C:" or "c:" followed by '\' or '/' lives under the drive root: $KESTREL9_ROOT when it is set
//    and not empty, else the current directory; a path without a drive is relative to the current
//    directory; any other drive cannot be opened (every operation fails as for a missing file);
//  - '\' and '/' both separate components;
//  - a component that does not exist with its exact spelling is found case-insensitively (ASCII);
//    an exact match wins, and among several case variants the first in byte order is taken;
//  - a file being created keeps the case it is written with; folders are never created.
#pragma once

#include <cstddef>
#include <cstdio>

// Maps `path` to a host path in out[capacity]. Returns false when the path cannot exist on this
// host (another drive, a name that does not fit).
bool hostMapPath(const char* path, char* out, std::size_t capacity);

// fopen through the mapping; modes as for fopen ("r", "rb", "w", "wb", "a", ...). Opening a
// folder fails for every mode. Returns null on failure.
std::FILE* hostOpen(const char* path, const char* mode);

// True when `path` names a regular file that can be opened for reading (a folder is refused,
// as on Windows).
bool hostFileExists(const char* path);

// Removes a file; 0 on success.
int hostRemove(const char* path);
