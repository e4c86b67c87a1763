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

#if defined(_WIN32)
// The `\\?\` form of `name`, which Windows takes at any length and as it
// stands: the name is made a full path first, as the plain open makes it
// (the current folder, "." and "..", '/', trailing dots), and then
// `\\?\C:\...` stands for `C:\...` and `\\?\UNC\server\share\...` for
// `\\server\share\...`. Writes it to `out`, which has room for `room` units
// and may be `name`, and returns the length of the full path; returns 0
// when there is no such form (it is one already, or names a device as
// `\\.\...`) or it does not fit.
int long_path_name(const wchar_t* name, wchar_t* out, int room);
#endif

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
