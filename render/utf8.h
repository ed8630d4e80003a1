// Wide panel strings to the UTF-8 that text services take. Wide strings hold UTF-32 code points
// where wchar_t is 32 bits (Linux) and UTF-16 where it is 16 bits (Windows).
#pragma once

#include <string>

namespace orq::render {

// Code points that are not Unicode scalar values (lone surrogates, above U+10FFFF, negative)
// become U+FFFD, so the result is always valid UTF-8. Where wide strings are UTF-16, a high
// surrogate followed by a low one is the one character they encode.
std::string toUtf8(const std::wstring& text);

}  // namespace orq::render
