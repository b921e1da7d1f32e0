// Writing a whole file so that it is never seen half written: the new text goes to a
// file of its own beside the old one, which it then replaces in one rename. A crash
// or a full disk leaves the old file or the new one, never part of either.
#pragma once

#include <string>

namespace os {

enum class ReplaceOutcome {
    kReplaced,  // `path` now holds the text
    kHeld,      // another program holds `path` open so that it cannot be replaced now
                // (Windows: a spreadsheet that has it open); it is as it was
    kFailed,    // `path` is as it was; the error says why
};

// Who a file made for the user belongs to.
enum class FileOwner {
    kProcess,  // whoever runs this process
    // On POSIX under sudo (root, with SUDO_UID and SUDO_GID set): the user who ran
    // sudo, so that what they asked for is theirs to read and keep. Elsewhere as
    // kProcess.
    kInvokingUser,
};

// Replaces `path` whole. POSIX: the file keeps the mode of the one it replaces, and
// its owner when root may give it; a new one gets 0666 less the umask, and `owner`.
ReplaceOutcome ReplaceWholeFile(const std::string& path, const std::string& text, FileOwner owner,
                                std::string& error);

// True when `path` now holds `text` (ReplaceWholeFile for this process, held as failed).
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error);

}  // namespace os
