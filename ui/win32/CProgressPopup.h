// The progress window: a small always-on-top popup with the title and percentage in
// its caption, an empty text area, a progress bar and a " Cancel " button. It never
// takes the focus, runs no message loop of its own (its thread lets it handle its
// messages through PumpMessages) and remembers its position in the settings of the
// installed UI port (section "Settings", values "X" and "Y").
//
// The window belongs to the thread that created the object: every call, destruction
// included, must come from that thread. When creation fails, every operation does
// nothing and SetPos returns the stored position.
#pragma once

#include <string>

#include "diag/ProgressRules.h"
#include "ui/win32/win32_headers.h"

namespace win32 {

class CProgressPopup {
  public:
    static constexpr int kWidth = 390;
    static constexpr int kInitialHeight = 130;
    static constexpr int kMargin = 10;
    static constexpr int kTextLines = 4;
    static constexpr int kCancelButtonId = 10;
    static constexpr int kTextLineId = 11;
    static constexpr int kBarId = 12;
    static constexpr const char* kCancelLabel = " Cancel ";
    static constexpr const char* kClassName = "EmcbProgressPopup";

    // Hidden once constructed. Without `owner`, the calling thread's main window owns
    // it, if the thread has one.
    CProgressPopup(HWND owner, const std::string& title, bool smooth);
    ~CProgressPopup();
    CProgressPopup(const CProgressPopup&) = delete;
    CProgressPopup& operator=(const CProgressPopup&) = delete;

    void Show();
    void Hide();
    // The bar's range and step; returns the result of setting the step (0 without a window).
    int SetRange(int lower, int upper, int step);
    // Shows a hidden window; the caption changes only when the percentage does.
    // Returns the bar's previous position.
    int SetPos(int position);
    bool IsCancelled() const { return cancelled_; }
    // Handles the thread's waiting messages until none is left or the window was
    // cancelled; with `cancelOnEscape`, Escape typed into the window cancels it.
    void PumpMessages(bool cancelOnEscape);
    // The " Cancel " button: saves the position, hides the window, gives the
    // foreground back to the thread's main window.
    void OnCancel();
    // Saves the position, then destroys the window.
    bool DestroyWindow();
    // Moves the top-left corner to (x, y) and the window to the top, keeping its size.
    void MoveTo(int x, int y);

    HWND Window() const { return window_; }
    const diag::ProgressRules& Rules() const { return rules_; }

  private:
    bool Create(HWND owner, const std::string& title, bool smooth);
    bool CreateChildren(bool smooth);
    void Layout(int lines, int width);
    void RestorePosition();
    void SavePosition();
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    bool cancelled_ = false;
    bool persistPosition_ = true;
    diag::ProgressRules rules_;
    int textLines_ = kTextLines;
    HWND window_ = nullptr;
    HWND textLine_ = nullptr;
    HWND bar_ = nullptr;
    HWND cancelButton_ = nullptr;
    std::string cancelLabel_ = kCancelLabel;
    HFONT font_ = nullptr;
};

}  // namespace win32
