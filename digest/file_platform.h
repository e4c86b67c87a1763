// The operating-system specific part of opening a file for digesting.
#pragma once

#include <cstdio>

// Opens `path` for binary reading, or returns null when it cannot be read as
// a file: it does not exist, is a directory, is locked against readers, ...
// On Windows other processes may keep reading the file but not write it; a
// name that comes with its UTF-16 form `wide_path` is opened by that form,
// and a character device (console, port, NUL) is refused. Elsewhere
// `wide_path` is not used.
std::FILE* open_for_digest(const char* path, const wchar_t* wide_path = nullptr);

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
