// A progress window drawn as one line of text on a stream (standard error): the
// caption, then a bar, rewritten in place on a terminal and printed once per caption
// change otherwise. A console has no Cancel button, so it is never cancelled.
#pragma once

#include <cstdio>
#include <string>

#include "diag/ProgressRules.h"
#include "diag/UiPort.h"

namespace cli {

class ConsoleUiProgressWindow final : public diag::ProgressWindow {
  public:
    static constexpr int kBarWidth = 40;

    // `stream` (not owned) outlives the window, null draws nothing; `interactive`:
    // rewrite the line in place.
    ConsoleUiProgressWindow(std::string title, std::FILE* stream, bool interactive);
    ~ConsoleUiProgressWindow() override;

    void Show() override;
    void Hide() override;
    void MoveTo(int, int) override {}
    void SetRange(int lower, int upper, int step) override;
    void SetPos(int position) override;
    bool IsCancelled() const override { return false; }
    void PumpMessages(bool) override {}
    std::string Caption() const override { return rules_.Caption(); }

    // The line as last drawn, without its line end.
    std::string Line() const;

  private:
    void Draw();

    diag::ProgressRules rules_;
    std::FILE* stream_;
    bool interactive_;
    bool visible_ = false;
};

}  // namespace cli
