// The operating-system specific part of opening a file for digesting.
#pragma once

#include <cstdio>

// Opens `path` for binary reading, or returns null when it cannot be read as
// a file: it does not exist, is a directory, is locked against readers, ...
// On Windows other processes may keep reading the file but not write it.
std::FILE* open_for_digest(const char* path);
