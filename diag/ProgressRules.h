// The rules every progress window follows, whatever draws it: the percentage shown,
// when the caption changes, and where a new window is placed.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "diag/UiPort.h"

namespace diag {

// Percentage of `position` in lower..upper: rounded half up, then truncated toward
// zero, so a position 1.5 % below `lower` already shows -1. 0 for an empty range.
int ProgressPercent(int position, int lower, int upper);

// "title [N%]".
std::string ProgressCaptionText(const std::string& title, int percent);

// The caption state of one window: the bare title until a position gives a
// percentage other than the last one written (0 at first).
class ProgressRules {
  public:
    explicit ProgressRules(std::string title);

    void SetRange(int lower, int upper, int step);
    // True when the caption changed.
    bool SetPos(int position);

    const std::string& Title() const { return title_; }
    const std::string& Caption() const { return caption_; }
    int Position() const { return position_; }
    int LastPercent() const { return lastPercent_; }
    int Lower() const { return lower_; }
    int Upper() const { return upper_; }
    int Step() const { return step_; }

  private:
    std::string title_;
    std::string caption_;
    int position_ = 0;
    int lastPercent_ = 0;
    int step_ = 1;
    int upper_ = 100;
    int lower_ = 0;
};

struct ScreenPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

// Where progress windows remember their top-left corner.
inline constexpr const char* kPositionSection = "Settings";
inline constexpr const char* kPositionKeyX = "X";
inline constexpr const char* kPositionKeyY = "Y";
inline constexpr int kPositionMissing = -1;

// The saved corner if it lies on a screen of the given size; nothing when it is
// missing or off the screen (the window is then centred on its owner).
std::optional<ScreenPoint> RestoredPosition(const SettingsPort& settings, int screenWidth,
                                            int screenHeight);
// The same for several screens: a saved corner with no negative coordinate that
// `onAScreen` places on one of them.
std::optional<ScreenPoint> RestoredPosition(const SettingsPort& settings,
                                            const std::function<bool(ScreenPoint)>& onAScreen);
void SavePosition(SettingsPort& settings, ScreenPoint corner);

}  // namespace diag
