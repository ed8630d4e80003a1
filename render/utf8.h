// Wide panel strings (UTF-32 code points in wchar_t on Linux) to the UTF-8 that Pango takes.
#pragma once

#include <string>

namespace orq::render {

// Code points that are not Unicode scalar values (surrogates, above U+10FFFF, negative) become
// U+FFFD, so the result is always valid UTF-8.
std::string toUtf8(const std::wstring& text);

}  // namespace orq::render
