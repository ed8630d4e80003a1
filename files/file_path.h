// Paths as the program holds them (wide strings) and as the file system takes them, and the
// file-name component of a path. Portable: no toolkit, no operating-system call.
#pragma once

#include <filesystem>
#include <string>

namespace orq {

// The last component of a path: the text after the last '\' or '/' that follows the root name
// (a drive prefix such as "C:", or a network prefix "\\server"). A path that is only a root
// name, or ends with a separator, has an empty file name.
//   "C:\IRs\My Cab.wav" -> "My Cab.wav", "C:cab.wav" -> "cab.wav", "C:" -> "", "a/" -> "".
std::wstring fileName(const std::wstring& path);

// Wide path to the bytes the file system takes (UTF-8), and back. Bytes that are not UTF-8 come
// in as U+DC80..U+DCFF and go out as the same bytes, so every name a folder can hold survives
// the round trip unchanged.
// Where wchar_t is 16 bits wide (Windows), wide strings are UTF-16 and characters beyond U+FFFF
// are surrogate pairs.
std::string nativePath(const std::wstring& path);
std::wstring widePath(const std::string& native);

// The local path of the first entry of a text/uri-list (lines ending in CRLF or LF, '#' lines
// skipped), as a file manager hands out dragged files: "file:///path",
// "file://localhost/path", "file:/path", with %XX escapes taken as bytes and the bytes read as
// nativePath writes them. Empty when the first entry is not such a URI (another scheme, another
// host, a relative path, a bad escape, a NUL byte, raw or escaped). NUL bytes that end the list
// are a terminator, not part of it.
std::wstring fileUriPath(const std::string& uriList);

// The path as this platform's file system opens it: the bytes of nativePath where names are
// bytes, the wide string itself where names are UTF-16 (Windows, where a narrow name would go
// through the ANSI code page and lose every character outside it). Every file the program opens,
// tests or renames goes through here.
std::filesystem::path filePath(const std::wstring& path);
// The reverse, for paths the file system hands out (temporary folders, listings).
std::wstring pathText(const std::filesystem::path& path);

}  // namespace orq
