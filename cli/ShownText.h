#pragma once
// Text that came from the user (the command line, standard input) as it may
// be shown inside a message: control characters written as \xHH, so that a
// value with an escape sequence in it cannot clear or recolour the terminal.

#include <string>
#include <string_view>

// UTF-8 in, UTF-8 out: C0 controls, DEL and the C1 controls (U+0080 to
// U+009F) become \xHH (\u0085 and the like for C1); everything else stays.
std::string ShownText(std::string_view utf8);

// The user's text in single quotes, shown as above.
std::string Quoted(std::string_view utf8);
std::string Quoted(std::wstring_view text);

std::string Utf8(std::wstring_view text);
