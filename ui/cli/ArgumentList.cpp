#include "ui/cli/ArgumentList.h"

namespace cli {

ArgumentList::ArgumentList(const std::vector<std::string>& arguments,
                           const std::set<std::string>& valueFlags,
                           const std::set<std::string>& switchFlags) {
    for (std::size_t i = 0; i < arguments.size() && error_.empty(); ++i) {
        std::string flag = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto equals = flag.find('=');
            flag.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = flag.substr(equals + 1);
            flag.resize(equals);
        }
        if (switchFlags.count(flag) != 0 && !inlineValue) {
            values_[flag] = "";
        } else if (valueFlags.count(flag) != 0) {
            if (inlineValue) {
                values_[flag] = *inlineValue;
            } else if (i + 1 < arguments.size()) {
                values_[flag] = arguments[++i];
            } else {
                error_ = "the option " + flag + " needs a value";
            }
        } else {
            error_ = "unknown argument '" + arguments[i] + "'";
        }
    }
}

std::optional<std::string> ArgumentList::Value(const std::string& flag) const {
    const auto found = values_.find(flag);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

bool ArgumentList::Has(const std::string& flag) const {
    return values_.count(flag) != 0;
}

}  // namespace cli
