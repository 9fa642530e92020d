// A check run on a run file's text before toml++ parses it.
//
// toml++ 3.3 (the version Debian ships) classifies a character as whitespace
// with a table that has no answer for most non-ASCII characters: for those the
// program runs into __builtin_unreachable(), undefined behaviour (a crash in a
// sanitized build; in an optimised one, whatever the compiler made of it).
// It asks that question of every character outside a string and a comment,
// of every character of a quoted key, of the characters of a value it cannot
// read (scanning on through a quote, as in 2i="..."), and in a multi-line
// basic string of the character after a backslash and of the first one after
// a line-ending backslash.  Non-ASCII text is never valid TOML outside strings and
// comments, and the run file's keys are all ASCII, so a run file loses
// nothing by being refused in all those places: non-ASCII text stays welcome
// in comments and in string values (a folder, a column heading, "°C").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pcm::runner {

// Returns an empty string, or "LINE: what is wrong" for the first non-ASCII
// character toml++ must not see.
//
// A string is taken for a value only when it opens right after the '=' that
// ends a key (at the start of a line, or after '{' or ',' in an inline table):
// toml++ then reads it as a string.  After anything else (a key, a header, an
// array, a value toml++ cannot read and scans on through) it may treat the
// characters one by one, so non-ASCII text there is refused.
inline std::string findTextTomlCannotTake(std::string_view text) {
    std::size_t i = 0;
    std::size_t line = 1;
    bool inKey = true;       // reading a key: since a line start, '{' or ',' in an inline table
    bool valueNext = false;  // the last token was the '=' that ends a key
    int braces = 0;          // depth of inline tables
    const auto at = [&](const char* what) { return std::to_string(line) + ": " + what; };
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    const auto nonAscii = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };

    if (text.substr(0, 3) == "\xEF\xBB\xBF") i = 3;  // a byte-order mark, which toml++ skips
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            inKey = true;
            valueNext = false;
            braces = 0;  // an inline table cannot span lines: toml++ has said so by now
            ++i;
        } else if (isBlank(c)) {
            ++i;
        } else if (c == '#') {
            while (i < text.size() && text[i] != '\n') ++i;
        } else if (c == '"' || c == '\'') {
            const bool multiLine = text.substr(i, 3) == std::string_view(c == '"' ? "\"\"\"" : "\'\'\'");
            const bool basic = c == '"';
            const bool value = valueNext;
            valueNext = false;
            i += multiLine ? 3 : 1;
            while (i < text.size()) {
                const char s = text[i];
                if (!multiLine && s == '\n') break;  // unterminated: toml++ says so
                if (multiLine && text.substr(i, 3) == std::string_view(basic ? "\"\"\"" : "\'\'\'")) {
                    i += 3;
                    while (i < text.size() && text[i] == c) ++i;  // up to two quotes may end the content
                    break;
                }
                if (!multiLine && s == c) {
                    ++i;
                    break;
                }
                if (s == '\n') ++line;
                if (nonAscii(s) && !value)
                    return at("non-ASCII text in a key or where no string value can start: keys of a run file "
                              "are plain ASCII");
                if (basic && s == '\\') {
                    ++i;
                    if (i >= text.size()) break;
                    if (multiLine && (isBlank(text[i]) || text[i] == '\n')) {
                        // A line-ending backslash: the blanks and line breaks
                        // after it are dropped, and toml++ looks at each.
                        while (i < text.size() && (isBlank(text[i]) || text[i] == '\n')) {
                            if (text[i] == '\n') ++line;
                            ++i;
                        }
                        if (i < text.size() && nonAscii(text[i]))
                            return at("non-ASCII text right after a line-ending backslash: write it as \\uXXXX");
                        continue;
                    }
                    if (nonAscii(text[i]) && (multiLine || !value))
                        return at("non-ASCII text right after a backslash: write it as \\uXXXX");
                    if (text[i] != '\n') ++i;  // the escaped character
                    continue;
                }
                ++i;
            }
        } else if (nonAscii(c)) {
            return at("non-ASCII text outside quotes and comments: a run file is plain ASCII there");
        } else {
            valueNext = false;
            if (c == '=') {
                valueNext = inKey;
                inKey = false;
            } else if (c == '{') {
                ++braces;
                inKey = true;
            } else if (c == '}') {
                if (braces > 0) --braces;
                inKey = false;
            } else if (c == ',') {
                inKey = braces > 0;
            } else if (c == '[' || c == ']') {
                inKey = false;
            }
            ++i;
        }
    }
    return {};
}

}  // namespace pcm::runner
