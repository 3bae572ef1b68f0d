// Shared set-up of the fuzz targets: one private scratch directory under /tmp
// per process, quiet standard streams, and small file helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Makes the scratch directory (/tmp/fuzz-<name>.XXXXXX), enters it, points
// standard input and output at /dev/null and removes the directory at exit.
// Returns its path. Later calls return the same path.
const std::string &Scratch(const char *name);
// True on the thread that runs the inputs (once Scratch has run).
bool OnTargetThread();
// The scratch directory, "" until Scratch has made it.
const std::string &ScratchPath();
// Writes size bytes to path (truncating); aborts when it can't.
void Put(const std::string &path, const void *data, size_t size);
// The whole file, "" when it can't be read.
std::string Get(const std::string &path);
// Removes everything inside dir (dir itself stays).
void Empty(const std::string &dir);
// Splits the input at the first NUL byte (or the end): the part before and after.
void SplitAtNul(const uint8_t *data, size_t size, std::string &head, std::string &tail);

} // namespace fuzz
