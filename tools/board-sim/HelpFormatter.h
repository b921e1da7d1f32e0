// CLI11's help with its option and mode descriptions wrapped to fit 80 columns.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace board_sim {

class HelpFormatter : public CLI::Formatter {
  public:
    HelpFormatter();

    std::string make_option_desc(const CLI::Option* option) const override;
    std::string make_subcommand(const CLI::App* mode) const override;

    // `text` broken at spaces into lines of at most `width` characters.
    static std::string Wrapped(const std::string& text, std::size_t width);
};

}  // namespace board_sim
