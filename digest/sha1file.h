// File digest: one file name in, one result text out.
#pragma once

// Bytes of the shared result text, terminator included. A caller that keeps
// a copy of a result text needs no more than this.
constexpr int result_text_size = 1024;

// Reads the whole file at `path` through the SHA-1 engine and returns a
// pointer to the shared result text: 40 upper-case hex digits, or an error
// text ending in "\n". The text stays valid until the next call.
//
// `wide_path`, when not null, is the same name in UTF-16 as the user typed
// it (on Windows, where the byte form holds only what the ANSI code page can
// show); the file is then opened by it. Error texts show `path`.
const char* SHA1File(const char* path, const wchar_t* wide_path);
inline const char* SHA1File(const char* path) { return SHA1File(path, nullptr); }

// The safe digest of the file that the last SHA1File call digested, as 40
// upper-case hex digits: its SHA-1 digest, unless the file holds a block of
// a SHA-1 collision attack. Empty when that call returned an error text.
// Files whose digests are equal are identical only if these are equal too.
const char* SHA1FileSafeText();

// Bytes of the safe digest text, terminator included.
constexpr int safe_text_size = 41;
