// Path pieces shared by the file functions of files.cpp and the file changes
// that run commands (toolkit/syscmd/filecmds.cpp); private to those two.
#pragma once

#include "toolkit/runtime/tokens.h"

#include <cstring>
#include <string>

// Longest joined path of FindFile and the paths SplitPath accepts.
inline constexpr size_t JoinMax = 255;

inline bool Given(const char *s) {
    return s && *s;
}

// dir/name, or dir alone when name is null.
inline std::string JoinPath(const char *dir, const char *name) {
    std::string path = dir ? dir : "";
    if (name) path.append("/").append(name);
    return path;
}

// Directory part and last component of path by the StripFn/StripPath rules;
// false for a path too long for them.
inline bool SplitPath(const char *path, std::string *parent, std::string *base) {
    if (strlen(path) > JoinMax) return false;
    *base = StripPath(path);
    *parent = StripFn(path);
    return true;
}
