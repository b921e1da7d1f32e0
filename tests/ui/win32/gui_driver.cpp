// Drives the Windows configurator from outside, as a user at the screen would: finds
// its windows, types into its fields, clicks its buttons and reads its message boxes.
// Runs under the same Wine prefix (and so the same wineserver) as the program.
//
//   win32_gui_driver COMMAND ARGS...     (windows are given and printed as numbers)
//     wait-dialog SECONDS           the main dialog
//     wait-box TEXT SECONDS         a message box of the program whose text holds TEXT
//     wait-title PREFIX SECONDS     a visible window whose caption starts with PREFIX
//     text WINDOW [ID]              the caption, a control's text or a box's message
//     type WINDOW ID TEXT           replaces a field's text, one typed character at a time
//     click WINDOW ID               a click on a button
//     key WINDOW ID VK              the focus to a control, then a key pressed and released
//     post WINDOW MESSAGE WPARAM    any message, posted
//     state WINDOW ID               "checked=N input=N dialog=N": the control's check, whether
//                                   the dialog's button takes input, whether the dialog does
//     rect WINDOW                   "X Y WIDTH HEIGHT" on the screen
//     exists WINDOW                 status 0 while the window exists
//     watch-job WINDOW SECONDS      from the "Programming" tick to its clearing, how fast
//                                   the dialog answers; status 1 if Windows took it for hung
//
// Exit status 0 on success, 1 when the window did not appear or the command failed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "os/windows_headers.h"

namespace {

constexpr const char* kTitle = "Ethernet Motion Control Board Configurator";
constexpr int kConnectButtonId = 1127;
constexpr int kProgrammingId = 1089;
constexpr DWORD kHungMs = 5000;  // when Windows starts to show a window as not responding
constexpr DWORD kPollMs = 100;
constexpr UINT kSendTimeoutMs = 2000;
constexpr DWORD kTypingMs = 5000;

std::string ClassOf(HWND window) {
    char name[256];
    const int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

// WM_GETTEXT, which crosses processes (GetWindowText does not for controls).
std::string TextOf(HWND window) {
    char text[4096] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &length))
        return {};
    return std::string(text, static_cast<std::size_t>(length));
}

BOOL CALLBACK CollectVisible(HWND window, LPARAM list) {
    if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(&CollectVisible, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool IsProgramBox(HWND window) {
    return ClassOf(window) == "#32770" && TextOf(window) == kTitle;
}

// A message box's message: its one static control with text.
std::string BoxMessage(HWND box) {
    std::string message;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) != "Static") continue;
        const std::string text = TextOf(child);
        if (!text.empty()) message = text;
    }
    return message;
}

template <typename Match>
int WaitFor(const char* what, double seconds, Match matches) {
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
    do {
        for (HWND window : TopLevelWindows()) {
            if (matches(window)) {
                std::printf("%llu\n", static_cast<unsigned long long>(
                                          reinterpret_cast<std::uintptr_t>(window)));
                return 0;
            }
        }
        Sleep(kPollMs);
    } while (static_cast<LONG>(GetTickCount() - deadline) < 0);
    std::fprintf(stderr, "win32_gui_driver: no %s within %.0f s\n", what, seconds);
    return 1;
}

HWND ParseWindow(const char* text) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(text, nullptr, 0)));
}

HWND Control(HWND window, const char* id) {
    return GetDlgItem(window, static_cast<int>(std::strtol(id, nullptr, 0)));
}

int Type(HWND field, const std::string& text) {
    if (field == nullptr) return 1;
    PostMessageA(field, EM_SETSEL, 0, -1);
    PostMessageA(field, WM_CHAR, VK_BACK, 1);  // clears the selection
    for (const char c : text)
        PostMessageA(field, WM_CHAR, static_cast<unsigned char>(c), 1);
    // The program handles the posted characters in its own time.
    const DWORD deadline = GetTickCount() + kTypingMs;
    std::string now = TextOf(field);
    while (now != text && static_cast<LONG>(GetTickCount() - deadline) < 0) {
        Sleep(kPollMs / 4);
        now = TextOf(field);
    }
    if (now != text) {
        std::fprintf(stderr, "win32_gui_driver: the field holds '%s', not '%s'\n", now.c_str(),
                     text.c_str());
        return 1;
    }
    return 0;
}

bool IsChecked(HWND dialog) {
    DWORD_PTR checked = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, kProgrammingId), BM_GETCHECK, 0, 0, SMTO_NORMAL,
                        kSendTimeoutMs, &checked);
    return checked == BST_CHECKED;
}

// The dialog's thread runs the job: it must answer messages all along.
int WatchJob(HWND dialog, double seconds) {
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
    auto running = [&] { return static_cast<LONG>(GetTickCount() - deadline) < 0; };
    while (running() && IsWindow(dialog) && !IsChecked(dialog))
        Sleep(kPollMs / 10);
    DWORD slowest = 0;
    int samples = 0;
    bool hung = false;
    while (running() && IsWindow(dialog) && IsChecked(dialog)) {
        const DWORD start = GetTickCount();
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kHungMs * 2, &ignored);
        const DWORD took = GetTickCount() - start;
        if (took > slowest) slowest = took;
        hung = hung || IsHungAppWindow(dialog);
        ++samples;
        Sleep(kPollMs / 2);
    }
    std::printf("samples=%d slowest_answer_ms=%lu hung=%d\n", samples,
                static_cast<unsigned long>(slowest), hung ? 1 : 0);
    return hung ? 1 : 0;
}

int Usage() {
    std::fputs("usage: win32_gui_driver COMMAND ARGS... (see the source)\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    auto arg = [&](std::size_t i) { return i < args.size() ? args[i].c_str() : ""; };
    const auto need = [&](std::size_t count) { return args.size() >= count; };

    if (command == "wait-dialog" && need(1)) {
        return WaitFor("main dialog", std::atof(arg(0)), [](HWND window) {
            return IsProgramBox(window) && GetDlgItem(window, kConnectButtonId) != nullptr;
        });
    }
    if (command == "wait-box" && need(2)) {
        const std::string wanted = arg(0);
        return WaitFor("message box", std::atof(arg(1)), [&](HWND window) {
            return IsProgramBox(window) && GetDlgItem(window, kConnectButtonId) == nullptr &&
                   BoxMessage(window).find(wanted) != std::string::npos;
        });
    }
    if (command == "wait-title" && need(2)) {
        const std::string prefix = arg(0);
        return WaitFor("window", std::atof(arg(1)),
                       [&](HWND window) { return TextOf(window).rfind(prefix, 0) == 0; });
    }
    if (command == "text" && need(1)) {
        const HWND window = ParseWindow(arg(0));
        if (!IsWindow(window)) return 1;
        if (need(2)) {
            std::printf("%s\n", TextOf(Control(window, arg(1))).c_str());
        } else if (GetDlgItem(window, kConnectButtonId) == nullptr && ClassOf(window) == "#32770") {
            std::printf("%s\n", BoxMessage(window).c_str());
        } else {
            std::printf("%s\n", TextOf(window).c_str());
        }
        return 0;
    }
    if (command == "type" && need(3)) return Type(Control(ParseWindow(arg(0)), arg(1)), arg(2));
    if (command == "click" && need(2)) {
        const HWND button = Control(ParseWindow(arg(0)), arg(1));
        return button != nullptr && PostMessageA(button, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (command == "key" && need(3)) {
        const HWND control = Control(ParseWindow(arg(0)), arg(1));
        const auto key = static_cast<WPARAM>(std::strtoul(arg(2), nullptr, 0));
        if (control == nullptr) return 1;
        // As the user's click or Tab would first: the focus, and with it the default button.
        PostMessageA(GetParent(control), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
        PostMessageA(control, WM_KEYDOWN, key, 1);
        PostMessageA(control, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
        return 0;
    }
    if (command == "post" && need(3)) {
        return PostMessageA(ParseWindow(arg(0)),
                            static_cast<UINT>(std::strtoul(arg(1), nullptr, 0)),
                            static_cast<WPARAM>(std::strtoul(arg(2), nullptr, 0)), 0)
                   ? 0
                   : 1;
    }
    if (command == "state" && need(2)) {
        const HWND window = ParseWindow(arg(0));
        DWORD_PTR checked = 0;
        SendMessageTimeoutA(Control(window, arg(1)), BM_GETCHECK, 0, 0, SMTO_NORMAL, kSendTimeoutMs,
                            &checked);
        std::printf("checked=%d input=%d dialog=%d\n", static_cast<int>(checked),
                    IsWindowEnabled(GetDlgItem(window, kConnectButtonId)) ? 1 : 0,
                    IsWindowEnabled(window) ? 1 : 0);
        return 0;
    }
    if (command == "rect" && need(1)) {
        RECT bounds;
        if (!GetWindowRect(ParseWindow(arg(0)), &bounds)) return 1;
        std::printf("%ld %ld %ld %ld\n", bounds.left, bounds.top, bounds.right - bounds.left,
                    bounds.bottom - bounds.top);
        return 0;
    }
    if (command == "exists" && need(1)) return IsWindow(ParseWindow(arg(0))) ? 0 : 1;
    if (command == "watch-job" && need(2)) return WatchJob(ParseWindow(arg(0)), std::atof(arg(1)));
    return Usage();
}
