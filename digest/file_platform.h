// The operating-system specific part of opening a file for digesting.
#pragma once

#include <cstdio>

// Opens `path` for binary reading, or returns null when it cannot be read as
// a file: it does not exist, is a directory, is locked against readers, ...
// On Windows other processes may keep reading the file but not write it; a
// `path` that is one of the program's arguments is opened by the UTF-16 form
// of that argument, and a character device (console, port, NUL) is refused.
std::FILE* open_for_digest(const char* path);
