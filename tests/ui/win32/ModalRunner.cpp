#include "tests/ui/win32/ModalRunner.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace win32::test {
namespace {

struct Watch {
    std::function<bool(HWND)> matches;
    std::function<void(HWND)> action;
    DWORD deadline;
};

constexpr UINT kPollMs = 20;

std::map<UINT_PTR, Watch>& Watches() {
    static std::map<UINT_PTR, Watch> watches;  // of the test's one thread
    return watches;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> ThreadWindows() {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), &CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

void CALLBACK OnPoll(HWND, UINT, UINT_PTR timer, DWORD) {
    auto found = Watches().find(timer);
    if (found == Watches().end()) return;
    for (HWND window : ThreadWindows()) {
        if (!IsWindowVisible(window) || !found->second.matches(window)) continue;
        KillTimer(nullptr, timer);
        const Watch watch = found->second;
        Watches().erase(found);
        watch.action(window);
        return;
    }
    if (static_cast<LONG>(GetTickCount() - found->second.deadline) < 0) return;
    KillTimer(nullptr, timer);
    Watches().erase(found);
    ADD_FAILURE() << "the awaited window did not appear";
    for (HWND window : ThreadWindows()) {
        if (ClassName(window) == "#32770") EndDialog(window, IDCANCEL);
    }
}

}  // namespace

void WhenWindowAppears(std::function<bool(HWND)> matches, std::function<void(HWND)> action,
                       unsigned timeoutMs) {
    const UINT_PTR timer = SetTimer(nullptr, 0, kPollMs, &OnPoll);
    ASSERT_NE(timer, 0u);
    Watches()[timer] = {std::move(matches), std::move(action), GetTickCount() + timeoutMs};
}

std::function<bool(HWND)> DialogTitled(const std::string& caption, int withControl) {
    return [caption, withControl](HWND window) {
        return ClassName(window) == "#32770" && WindowText(window) == caption &&
               (withControl == 0 || GetDlgItem(window, withControl) != nullptr);
    };
}

std::string WindowText(HWND window) {
    char text[1024];
    const int length = GetWindowTextA(window, text, sizeof text);
    return std::string(text, static_cast<std::size_t>(length > 0 ? length : 0));
}

std::string ClassName(HWND window) {
    char name[256];
    const int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

void PostClick(HWND button) {
    PostMessageA(button, BM_CLICK, 0, 0);
}

}  // namespace win32::test
