// The texts torvanix prints, built from their parts for the tests to expect.
#pragma once

#include <string>

#include "tests/support/scratch_dir.h"

using Program = ScratchDir;

inline const std::string banner =
    "Torvanix - Copyright (c) 2026 The Torvanix Authors\n"
    "Credit and citation for SHA1 code: RFC3174\n"
    "\n";

inline const std::string abc = "A9993E364706816ABA3E25717850C26C9CD0D89D";
inline const std::string abd = "CB4CC28DF0FDBE0ECF9D9662E294B118092A5735";

inline std::string missing(const std::string& name)
{
    return "couldn't open file '" + name + "'\n";
}

// The name as the 20-byte column shows it: padded with spaces or cut.
inline std::string column(const std::string& name)
{
    return name.size() >= 20 ? name.substr(0, 20) : name + std::string(20 - name.size(), ' ');
}

inline std::string line(const std::string& text, const std::string& name, const char* marker = "")
{
    return "SHA1=" + text + " " + column(name) + marker + "\n";
}

// `text` with each "\n" as "\r\n", as a Windows text stream writes it.
inline std::string with_crlf(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        if (ch == '\n') out += '\r';
        out += ch;
    }
    return out;
}
