#include "os/replace_file.h"

namespace os {

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    return ReplaceWholeFile(path, text, FileOwner::kProcess, error) == ReplaceOutcome::kReplaced;
}

}  // namespace os
