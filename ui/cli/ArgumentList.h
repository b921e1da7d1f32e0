// Command-line flags of the form "--name value" or "--name=value", read in order.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cli {

class ArgumentList {
  public:
    // `valueFlags` take a value, `switchFlags` stand alone. Anything else is an error.
    ArgumentList(const std::vector<std::string>& arguments, const std::set<std::string>& valueFlags,
                 const std::set<std::string>& switchFlags);

    // Empty when every argument was understood; otherwise what was wrong.
    const std::string& Error() const { return error_; }
    std::optional<std::string> Value(const std::string& flag) const;
    bool Has(const std::string& flag) const;

  private:
    std::map<std::string, std::string> values_;
    std::string error_;
};

}  // namespace cli
