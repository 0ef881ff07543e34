// Where the path of a value operation ("key\name") divides into the key and the value name.
#pragma once

#include <cstddef>
#include <string_view>

// Value names may hold backslashes (file paths are common names), which the path does not
// tell apart from the key's. The name starts at the first component after the root that
// begins a file path: a drive ("C:"), an environment variable ("%SystemRoot%") or an empty
// component (the name begins with a backslash, "\??\C:\x" or "\\server\share"); a trailing
// backslash keeps the component before it in the name ("App\"). Otherwise the name is what
// follows the last backslash. The path is UTF-8; returns the position of the backslash that
// ends the key, or npos when the path has none.
size_t ValuePathSplit(std::string_view path);
