// Copies a C string into a fixed char field of a record, such as an adapter's name,
// cut to fit and always terminated.
#pragma once

#include <cstddef>
#include <cstring>

namespace os {

template <std::size_t N>
void CopyText(char (&to)[N], const char* from) {
    static_assert(N > 0);
    const std::size_t length = strnlen(from, N - 1);
    std::memcpy(to, from, length);
    to[length] = '\0';
}

}  // namespace os
