// Writing a whole file so that it is never seen half written: the new text goes to a
// file of its own beside the old one, which it then replaces in one rename. A crash
// or a full disk leaves the old file or the new one, never part of either.
#pragma once

#include <string>

namespace os {

// True when `path` now holds `text`; otherwise `error` says why and `path` is as it was.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error);

}  // namespace os
