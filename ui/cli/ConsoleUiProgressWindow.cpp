#include "ui/cli/ConsoleUiProgressWindow.h"

#include <algorithm>
#include <utility>

namespace cli {

ConsoleUiProgressWindow::ConsoleUiProgressWindow(std::string title, std::FILE* stream,
                                                 bool interactive)
    : rules_(std::move(title)), stream_(stream), interactive_(interactive) {}

ConsoleUiProgressWindow::~ConsoleUiProgressWindow() {
    Hide();
}

void ConsoleUiProgressWindow::Show() {
    if (visible_) return;
    visible_ = true;
    Draw();
}

void ConsoleUiProgressWindow::Hide() {
    if (!visible_) return;
    visible_ = false;
    if (interactive_ && stream_ != nullptr) {
        std::fputc('\n', stream_);  // leave the last state on screen
        std::fflush(stream_);
    }
}

void ConsoleUiProgressWindow::SetRange(int lower, int upper, int step) {
    rules_.SetRange(lower, upper, step);
}

void ConsoleUiProgressWindow::SetPos(int position) {
    const bool wasVisible = visible_;
    Show();
    // Off a terminal only caption changes are worth a line each.
    if (rules_.SetPos(position) || (interactive_ && wasVisible)) Draw();
}

std::string ConsoleUiProgressWindow::Line() const {
    const int percent = std::clamp(
        diag::ProgressPercent(rules_.Position(), rules_.Lower(), rules_.Upper()), 0, 100);
    const int filled = percent * kBarWidth / 100;
    return rules_.Caption() + " [" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "]";
}

void ConsoleUiProgressWindow::Draw() {
    if (stream_ == nullptr) return;
    if (interactive_)
        std::fprintf(stream_, "\r%s", Line().c_str());
    else
        std::fprintf(stream_, "%s\n", Line().c_str());
    std::fflush(stream_);
}

}  // namespace cli
