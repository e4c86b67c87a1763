// The operating-system specific part of opening a file for digesting.
#pragma once

#include <cstdio>

// Opens `path` for binary reading, or returns null when it cannot be read as
// a file: it does not exist, is a directory, is locked against readers, ...
// On Windows other processes may keep reading the file but not write it; a
// `path` that is one of the program's arguments is opened by the UTF-16 form
// of that argument, and a character device (console, port, NUL) is refused.
std::FILE* open_for_digest(const char* path);

// Tells whether the file behind `stream`, the stream open_for_digest opened
// last, is a regular file whose size or modification time differ from what
// they were at the open: bytes read from it then need not have been in the
// file together. Other files (FIFOs, devices, terminals) change by nature
// and are never reported.
#if defined(_WIN32)
// Writers are denied while the file is open, so it cannot change.
inline bool changed_since_open(std::FILE*) { return false; }
#else
bool changed_since_open(std::FILE* stream);
#endif
