#include "diag/ProgressRules.h"

#include <climits>
#include <cstdio>
#include <utility>

namespace diag {

int ProgressPercent(int position, int lower, int upper) {
    if (upper <= lower) return 0;
    // In double throughout: int differences overflow for wide ranges.
    const double percent =
        (static_cast<double>(position) - lower) * 100.0 / (static_cast<double>(upper) - lower) +
        0.5;
    if (percent >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (percent <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(percent);  // truncates toward zero
}

std::string ProgressCaptionText(const std::string& title, int percent) {
    char text[512];
    std::snprintf(text, sizeof text, "%s [%d%%]", title.c_str(), percent);
    return text;
}

ProgressRules::ProgressRules(std::string title) : title_(std::move(title)), caption_(title_) {}

void ProgressRules::SetRange(int lower, int upper, int step) {
    lower_ = lower;
    upper_ = upper;
    step_ = step;
}

bool ProgressRules::SetPos(int position) {
    position_ = position;
    const int percent = ProgressPercent(position, lower_, upper_);
    if (percent == lastPercent_) return false;
    lastPercent_ = percent;
    caption_ = ProgressCaptionText(title_, percent);
    return true;
}

std::optional<ScreenPoint> RestoredPosition(const SettingsPort& settings, int screenWidth,
                                            int screenHeight) {
    return RestoredPosition(settings, [screenWidth, screenHeight](ScreenPoint corner) {
        return corner.x < screenWidth && corner.y < screenHeight;
    });
}

std::optional<ScreenPoint> RestoredPosition(const SettingsPort& settings,
                                            const std::function<bool(ScreenPoint)>& onAScreen) {
    const int x = settings.GetInt(kPositionSection, kPositionKeyX, kPositionMissing);
    const int y = settings.GetInt(kPositionSection, kPositionKeyY, kPositionMissing);
    // Negative is missing (-1) or off the primary screen's top-left.
    if (x < 0 || y < 0 || !onAScreen({x, y})) return std::nullopt;
    return ScreenPoint{x, y};
}

void SavePosition(SettingsPort& settings, ScreenPoint corner) {
    settings.SetInt(kPositionSection, kPositionKeyX, corner.x);
    settings.SetInt(kPositionSection, kPositionKeyY, corner.y);
}

}  // namespace diag
