#include "tools/board-sim/HelpFormatter.h"

#include <sstream>

namespace board_sim {
namespace {

constexpr std::size_t kLineWidth = 80;
constexpr std::size_t kNameColumn = 26;  // the option names, then their descriptions

}  // namespace

HelpFormatter::HelpFormatter() {
    column_width(kNameColumn);
}

std::string HelpFormatter::make_option_desc(const CLI::Option* option) const {
    return Wrapped(option->get_description(), kLineWidth - kNameColumn);
}

std::string HelpFormatter::make_subcommand(const CLI::App* mode) const {
    std::stringstream out;
    CLI::detail::format_help(out, mode->get_display_name(true),
                             Wrapped(mode->get_description(), kLineWidth - kNameColumn),
                             kNameColumn);
    return out.str();
}

std::string HelpFormatter::Wrapped(const std::string& text, std::size_t width) {
    std::istringstream words(text);
    std::string wrapped;
    std::size_t lineLength = 0;
    for (std::string word; words >> word;) {
        if (lineLength > 0 && lineLength + 1 + word.size() > width) {
            wrapped += '\n';
            lineLength = 0;
        } else if (lineLength > 0) {
            wrapped += ' ';
            ++lineLength;
        }
        wrapped += word;
        lineLength += word.size();
    }
    return wrapped;
}

}  // namespace board_sim
