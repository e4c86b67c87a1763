// File digest: one file name in, one result text out.
#pragma once

// Bytes of the shared result text, terminator included. A caller that keeps
// a copy of a result text needs no more than this.
constexpr int result_text_size = 1024;

// Reads the whole file at `path` through the SHA-1 engine and returns a
// pointer to the shared result text: 40 upper-case hex digits, or an error
// text ending in "\n". The text stays valid until the next call.
const char* SHA1File(const char* path);
