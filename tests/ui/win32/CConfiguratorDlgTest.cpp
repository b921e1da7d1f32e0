// The main dialog and the About box as Windows builds them from the templates, and the
// dialog during a job. Jobs here run on loopback without BOOTP, which answers on every
// adapter: only the namespace scenarios run that.
#include "ui/win32/CConfiguratorDlg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "os/udp_socket.h"
#include "tests/support/AddressTexts.h"
#include "tests/support/NoBoardJobOptions.h"
#include "tests/support/UnusedUdpPort.h"
#include "tests/ui/win32/ModalRunner.h"
#include "tests/ui/win32/TestSettings.h"
#include "ui/win32/ThreadMainWindow.h"
#include "ui/win32/resource.h"
#include "version_info.h"

namespace win32::test {
namespace {

constexpr const char* kTitle = CConfiguratorDlg::kTitle;
constexpr const char* kAboutTitle = "About Ethernet Motion Control Board Configurator";

struct TemplateControl {
    int id;
    const char* className;
    const char* text;
    DWORD style;  // beyond WS_CHILD | WS_VISIBLE
    int x, y, width, height;
};

constexpr DWORD kEditStyle = WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
constexpr DWORD kRightLabel = WS_GROUP | SS_RIGHT;
constexpr DWORD kLeftText = WS_GROUP | SS_LEFT;

// Template 102 in template order, with the texts the fields start with.
const TemplateControl kTemplate[] = {
    {IDOK, "Button", "Exit", WS_TABSTOP | BS_DEFPUSHBUTTON, 422, 7, 50, 16},
    {IDC_SERVER_MAC, "Edit", "FF-FF-FF-FF-FF-FF", kEditStyle, 91, 102, 139, 13},
    {IDC_STATIC, "Static", "Server MAC Address:", kRightLabel, 7, 106, 77, 9},
    {IDC_CONNECT_PROGRAM_DISCONNECT, "Button", "Connect, Program, and Disconnect",
     WS_TABSTOP | BS_PUSHBUTTON, 27, 144, 157, 17},
    {IDC_NICKNAME, "Edit", "New Ethernet Orvantis", kEditStyle, 91, 122, 139, 13},
    {IDC_STATIC, "Static", "Nickname:", kRightLabel, 23, 123, 60, 9},
    {IDC_IP_ADDRESS, "Edit", "10.9.9.9", kEditStyle, 91, 83, 139, 13},
    {IDC_STATIC, "Static", "IP Address:", kRightLabel, 23, 86, 60, 9},
    {IDC_STATIC, "Static", "The IP Address is the address you wish to assign to the board.",
     kLeftText, 270, 14, 130, 18},
    {IDC_STATIC, "Static",
     "The Server MAC Address may be left as FF-FF-FF-FF-FF-FF which will allow the board to "
     "communicate with any computer.",
     kLeftText, 270, 42, 163, 28},
    {IDC_STATIC, "Static",
     "The Nickname helps you identify which board you are communicating with.  This name is "
     "stored in the XML and if it changes, the plugin will let you know that you are talking to "
     "a board with a different nickname than before.",
     kLeftText, 270, 130, 147, 45},
    {IDC_STATIC, "Static",
     "Attach a shorting jumper to the BOOTP jumper on the board to force the BOOTP mode of "
     "operation.  That will enable this utility to communicate with the board.",
     kLeftText, 17, 14, 173, 26},
    {IDC_STATIC, "Static",
     "The IP address that you assign must be on the same subnet as the IP address of the "
     "Ethernet adapter that you are using.",
     kLeftText, 17, 44, 173, 30},
    {IDC_STATIC, "Static",
     "If you wish to lock the board to a specific computer, enter the MAC address of the "
     "Ethernet adapter that you wish to lock it to.",
     kLeftText, 270, 67, 147, 25},
    {IDC_STATIC, "Static",
     "Then the board will not work with any other adapters (though it will still respond to "
     "this utility when operating in BOOTP mode).",
     kLeftText, 270, 93, 147, 26},
    {IDC_PROGRAMMING, "Button", "Programming", WS_TABSTOP | BS_AUTOCHECKBOX, 79, 172, 57, 10},
};

// As the dialog manager places a control: its corner and its size each mapped.
RECT DialogUnits(HWND dialog, int x, int y, int width, int height) {
    RECT mapped{x, y, width, height};
    MapDialogRect(dialog, &mapped);
    return {mapped.left, mapped.top, mapped.left + mapped.right, mapped.top + mapped.bottom};
}

RECT RectInParent(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ExpectRect(const RECT& actual, const RECT& expected, const std::string& what) {
    EXPECT_EQ(actual.left, expected.left) << what;
    EXPECT_EQ(actual.top, expected.top) << what;
    EXPECT_EQ(actual.right, expected.right) << what;
    EXPECT_EQ(actual.bottom, expected.bottom) << what;
}

// Runs the dialog modally, calls `check` once it is up, then closes it with Exit.
INT_PTR RunDialog(const std::function<void(HWND)>& check) {
    CConfiguratorDlg dialog(GetModuleHandleA(nullptr));
    WhenWindowAppears(DialogTitled(kTitle, IDC_CONNECT_PROGRAM_DISCONNECT), [&](HWND window) {
        check(window);
        PostClick(GetDlgItem(window, IDOK));
    });
    return dialog.DoModal();
}

TEST(ConfiguratorDlg, EveryControlOfTheTemplateInOrderWithItsStyleTextAndRectangle) {
    RunDialog([](HWND dialog) {
        HWND control = GetWindow(dialog, GW_CHILD);
        for (const TemplateControl& expected : kTemplate) {
            ASSERT_NE(control, nullptr) << "missing control " << expected.text;
            const std::string what = std::string(expected.className) + " \"" + expected.text + '"';
            EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(control))), expected.id)
                << what;
            EXPECT_EQ(ClassName(control), expected.className) << what;
            EXPECT_EQ(WindowText(control), expected.text) << what;
            DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
            // The dialog manager draws an edit's border as a client edge (3-D look).
            if ((GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0 &&
                ClassName(control) == "Edit")
                style |= WS_BORDER;
            EXPECT_EQ(style, WS_CHILD | WS_VISIBLE | expected.style) << what;
            ExpectRect(RectInParent(control),
                       DialogUnits(dialog, expected.x, expected.y, expected.width, expected.height),
                       what);
            control = GetWindow(control, GW_HWNDNEXT);
        }
        EXPECT_EQ(control, nullptr) << "a control beyond the template";
    });
}

TEST(ConfiguratorDlg, TabOrderIsTheTemplateOrderOfTheTabStops) {
    RunDialog([](HWND dialog) {
        const int expected[] = {IDOK,         IDC_SERVER_MAC, IDC_CONNECT_PROGRAM_DISCONNECT,
                                IDC_NICKNAME, IDC_IP_ADDRESS, IDC_PROGRAMMING,
                                IDOK};
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK)) << "the focus starts on Exit";
        HWND item = GetDlgItem(dialog, IDOK);
        for (std::size_t i = 1; i < std::size(expected); ++i) {
            item = GetNextDlgTabItem(dialog, item, FALSE);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(GetDlgCtrlID(item), expected[i]) << "tab stop " << i;
        }
    });
}

TEST(ConfiguratorDlg, CaptionStylesFontSizeAndDefaults) {
    RunDialog([](HWND dialog) {
        EXPECT_EQ(WindowText(dialog), kTitle);
        const DWORD style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
        const DWORD wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                             DS_MODALFRAME | DS_SETFONT;
        EXPECT_EQ(style & wanted, wanted);
        EXPECT_EQ(style & (WS_CHILD | WS_THICKFRAME), 0u);
        const DWORD exStyle = static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE));
        EXPECT_NE(exStyle & WS_EX_APPWINDOW, 0u) << "its own taskbar button";
        EXPECT_NE(exStyle & WS_EX_DLGMODALFRAME, 0u);

        RECT client;
        GetClientRect(dialog, &client);
        ExpectRect(client, DialogUnits(dialog, 0, 0, 479, 210), "client area");

        LOGFONTA font{};
        ASSERT_TRUE(GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)),
                               sizeof font, &font));
        EXPECT_STREQ(font.lfFaceName, "MS Shell Dlg");
        const HDC screen = GetDC(nullptr);
        EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
        ReleaseDC(nullptr, screen);

        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_PROGRAMMING, BM_GETCHECK, 0, 0), BST_UNCHECKED);
        EXPECT_EQ(ThreadMainWindow(), dialog) << "the main window of its thread";
    });
    EXPECT_EQ(ThreadMainWindow(), nullptr) << "no main window once it has closed";
}

TEST(ConfiguratorDlg, OpensCentredOnTheScreen) {
    RunDialog([](HWND dialog) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoA(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
        RECT bounds;
        GetWindowRect(dialog, &bounds);
        const RECT& work = monitor.rcWork;
        EXPECT_LE(std::abs((bounds.left - work.left) - (work.right - bounds.right)), 1);
        EXPECT_LE(std::abs((bounds.top - work.top) - (work.bottom - bounds.bottom)), 1);
    });
}

TEST(ConfiguratorDlg, IconsAndDragIconAreResource128) {
    CConfiguratorDlg dialog(GetModuleHandleA(nullptr));
    ASSERT_NE(dialog.Icon(), nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(dialog.Icon(), &info));
    BITMAP colour{};
    ASSERT_TRUE(GetObjectA(info.hbmColor, sizeof colour, &colour));
    EXPECT_EQ(colour.bmWidth, GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(colour.bmBitsPixel, 32) << "the icon's 32-bit images";
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    WhenWindowAppears(DialogTitled(kTitle, IDC_CONNECT_PROGRAM_DISCONNECT), [&](HWND window) {
        const auto icon = reinterpret_cast<LPARAM>(dialog.Icon());
        EXPECT_EQ(SendMessageA(window, WM_GETICON, ICON_BIG, 0), icon);
        EXPECT_EQ(SendMessageA(window, WM_GETICON, ICON_SMALL, 0), icon);
        EXPECT_EQ(SendMessageA(window, WM_QUERYDRAGICON, 0, 0), icon);
        PostClick(GetDlgItem(window, IDOK));
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST(ConfiguratorDlg, SystemMenuEndsInTheAboutEntry) {
    RunDialog([](HWND dialog) {
        const HMENU menu = GetSystemMenu(dialog, FALSE);
        ASSERT_NE(menu, nullptr);
        const int count = GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
        char text[256];
        GetMenuStringA(menu, static_cast<UINT>(count - 1), text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, "&About Ethernet Motion Control Board Configurator...");
        char resource[256];
        ASSERT_GT(LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, resource, sizeof resource),
                  0);
        EXPECT_STREQ(text, resource) << "string 101";
        MENUITEMINFOA separator{};
        separator.cbSize = sizeof separator;
        separator.fMask = MIIM_FTYPE;
        ASSERT_TRUE(GetMenuItemInfoA(menu, static_cast<UINT>(count - 2), TRUE, &separator));
        EXPECT_NE(separator.fType & MFT_SEPARATOR, 0u);
    });
}

void CheckAboutBox(HWND about) {
    RECT client;
    GetClientRect(about, &client);
    ExpectRect(client, DialogUnits(about, 0, 0, 235, 55), "About box client area");
    std::vector<std::string> texts;
    bool hasIcon = false;
    for (HWND child = GetWindow(about, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if (ClassName(child) == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
            hasIcon = SendMessageA(child, STM_GETICON, 0, 0) != 0;
        } else if (ClassName(child) == "Static") {
            texts.push_back(WindowText(child));
        }
    }
    EXPECT_TRUE(hasIcon) << "the application icon";
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Ethernet Motion Control Board Configurator");
    EXPECT_EQ(texts[1], std::string("Version ") + EMCB_VERSION_TEXT);
    const HWND ok = GetDlgItem(about, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(WindowText(ok), "OK");
    PostClick(ok);
}

TEST(ConfiguratorDlg, AboutCommandOpensTheAboutBoxWhateverItsLowBits) {
    int aboutBoxesSeen = 0;
    RunDialog([&](HWND dialog) {
        for (const WPARAM command : {WPARAM{IDM_ABOUTBOX}, WPARAM{IDM_ABOUTBOX | 0x000F}}) {
            WhenWindowAppears(DialogTitled(kAboutTitle), [&](HWND about) {
                ++aboutBoxesSeen;
                EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
                RECT box;
                RECT owner;
                GetWindowRect(about, &box);
                GetWindowRect(dialog, &owner);
                EXPECT_LE(std::abs((box.left + box.right) - (owner.left + owner.right)), 2)
                    << "centred over the dialog";
                EXPECT_LE(std::abs((box.top + box.bottom) - (owner.top + owner.bottom)), 2);
                CheckAboutBox(about);
            });
            SendMessageA(dialog, WM_SYSCOMMAND, command, 0);  // returns once the box is closed
        }
    });
    EXPECT_EQ(aboutBoxesSeen, 2);
}

TEST(ConfiguratorDlg, EnterInAnyFieldClosesTheDialog) {
    for (const int field : {IDC_IP_ADDRESS, IDC_SERVER_MAC, IDC_NICKNAME}) {
        CConfiguratorDlg dialog(GetModuleHandleA(nullptr));
        WhenWindowAppears(DialogTitled(kTitle, IDC_CONNECT_PROGRAM_DISCONNECT), [&](HWND window) {
            const HWND edit = GetDlgItem(window, field);
            SetFocus(edit);
            PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
            PostMessageA(edit, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC01C0001u));
        });
        EXPECT_EQ(dialog.DoModal(), IDOK) << "field " << field;
    }
}

TEST(ConfiguratorDlg, EscapeAndTheCloseCommandCloseAnIdleDialog) {
    CConfiguratorDlg dialog(GetModuleHandleA(nullptr));
    WhenWindowAppears(DialogTitled(kTitle, IDC_CONNECT_PROGRAM_DISCONNECT),
                      [&](HWND window) { PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

// A message box's message: its static control with text.
std::string BoxText(HWND box) {
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassName(child) == "Static" && !WindowText(child).empty()) text = WindowText(child);
    return text;
}

std::function<bool(HWND)> BoxSaying(const std::string& words) {
    return [words](HWND window) {
        return DialogTitled(kTitle)(window) &&
               GetDlgItem(window, IDC_CONNECT_PROGRAM_DISCONNECT) == nullptr &&
               BoxText(window).find(words) != std::string::npos;
    };
}

bool IsChecked(HWND dialog) {
    return SendDlgItemMessageA(dialog, IDC_PROGRAMMING, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ExpectInputEnabled(HWND dialog, bool enabled) {
    for (const int id : {IDC_IP_ADDRESS, IDC_SERVER_MAC, IDC_NICKNAME,
                         IDC_CONNECT_PROGRAM_DISCONNECT, IDC_PROGRAMMING})
        EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE, enabled) << "control " << id;
}

// A job that waits for a board on loopback until the user ends it: no BOOTP, and no
// silence question meanwhile.
TEST(ConfiguratorDlg, DuringAJobTheInputIsGreyedAndClosingAsksBeforeCancelling) {
    TestSettings settings;
    CConfiguratorDlg dialog(GetModuleHandleA(nullptr));
    app::JobOptions options;
    options.services.bootp = false;
    options.services.tftpPort = 0;
    options.services.linkPort = testsupport::UnusedUdpPort();
    options.services.tftpTiming = {60000, 60000, 8};
    dialog.SetJobOptions(options);
    int questions = 0;
    bool cancelledBoxSeen = false;
    HWND window = nullptr;

    const auto onQuestion = [&](auto& self, HWND question) -> void {
        ++questions;
        EXPECT_EQ(GetWindow(question, GW_OWNER), window);
        if (questions == 1) {
            PostClick(GetDlgItem(question, IDNO));
            // No goes on; then the close box asks again.
            WhenWindowAppears(
                [&](HWND w) { return w == window && IsWindowEnabled(w) && IsChecked(w); },
                [&](HWND w) {
                    EXPECT_TRUE(dialog.JobRunning());
                    PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0);
                    WhenWindowAppears(BoxSaying(CConfiguratorDlg::kCancelQuestion),
                                      [&](HWND next) { self(self, next); });
                });
            return;
        }
        PostClick(GetDlgItem(question, IDYES));
    };
    WhenWindowAppears(DialogTitled(kTitle, IDC_CONNECT_PROGRAM_DISCONNECT), [&](HWND w) {
        window = w;
        PostClick(GetDlgItem(w, IDC_CONNECT_PROGRAM_DISCONNECT));
        WhenWindowAppears(
            [&](HWND candidate) { return candidate == window && IsChecked(candidate); },
            [&](HWND running) {
                EXPECT_TRUE(IsWindowEnabled(running)) << "the dialog moves and owns the boxes";
                ExpectInputEnabled(running, false);
                EXPECT_EQ(GetFocus(), GetDlgItem(running, IDOK));
                SendMessageA(running, WM_SETCURSOR, reinterpret_cast<WPARAM>(running),
                             MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
                EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_APPSTARTING));
                const HWND exitButton = GetDlgItem(running, IDOK);
                PostMessageA(exitButton, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                PostMessageA(exitButton, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
            });
        WhenWindowAppears(BoxSaying(CConfiguratorDlg::kCancelQuestion),
                          [&](HWND question) { onQuestion(onQuestion, question); });
        WhenWindowAppears(
            BoxSaying("the job was cancelled"),
            [&](HWND box) {
                cancelledBoxSeen = true;
                EXPECT_EQ(GetWindow(box, GW_OWNER), window);
                EXPECT_FALSE(IsChecked(window)) << "cleared before the result box";
                ExpectInputEnabled(window, true);
                PostClick(GetDlgItem(box, IDOK));
                WhenWindowAppears(
                    [&](HWND candidate) { return candidate == window && !dialog.JobRunning(); },
                    [&](HWND idle) {
                        EXPECT_EQ(GetActiveWindow(), idle) << "active again after the box";
                        os::UdpSocket link;
                        EXPECT_TRUE(link.Open() && link.Bind(0, options.services.linkPort))
                            << "the job's link is still open";
                        PostClick(GetDlgItem(idle, IDOK));
                    });
            },
            15000);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(questions, 2);
    EXPECT_TRUE(cancelledBoxSeen);
    ASSERT_TRUE(dialog.LastReport().has_value());
    EXPECT_EQ(dialog.LastReport()->outcome, app::JobOutcome::kCancelled);
}

// Each address text typed into its field and the button clicked: a bad one is refused
// by its own box naming the field and the text, a good one starts the job (here with
// no board: it ends at its time limit).
TEST(ConfiguratorDlg, AddressTextsAreRefusedOrTakenAsEveryFrontEndDoes) {
    TestSettings settings;
    const auto judged = [&](HWND dialog, int field, const ::test::AddressText& entry,
                            const std::string& fieldName) {
        SetWindowTextA(GetDlgItem(dialog, field), entry.text);
        std::string said;
        WhenWindowAppears(
            [dialog](HWND window) { return window != dialog && DialogTitled(kTitle)(window); },
            [&](HWND box) {
                said = BoxText(box);
                PostClick(GetDlgItem(box, IDOK));
            },
            20000);
        const HWND button = GetDlgItem(dialog, IDC_CONNECT_PROGRAM_DISCONNECT);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CONNECT_PROGRAM_DISCONNECT, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));  // returns when the job has ended
        const std::string named = fieldName + " \"" + entry.text + "\"";
        if (entry.valid) {
            EXPECT_NE(said.find("no board answered within the time limit"), std::string::npos)
                << '"' << entry.text << "\": " << said;
        } else {
            EXPECT_NE(said.find(named), std::string::npos) << '"' << entry.text << "\": " << said;
        }
    };
    CConfiguratorDlg dialog(GetModuleHandleA(nullptr));
    dialog.SetJobOptions(testsupport::NoBoardJobOptions());
    WhenWindowAppears(DialogTitled(kTitle, IDC_CONNECT_PROGRAM_DISCONNECT), [&](HWND window) {
        for (const ::test::AddressText& ip : ::test::kIpTexts)
            judged(window, IDC_IP_ADDRESS, ip, "IP address");
        SetWindowTextA(GetDlgItem(window, IDC_IP_ADDRESS), "10.9.9.21");
        for (const ::test::AddressText& mac : ::test::kMacTexts)
            judged(window, IDC_SERVER_MAC, mac, "MAC address");
        PostClick(GetDlgItem(window, IDOK));
    });
    dialog.DoModal();
}

TEST(ConfiguratorDlg, VersionResourceNamesTheProduct) {
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));
    auto value = [&](const char* name) {
        char* text = nullptr;
        UINT length = 0;
        const std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
        if (!VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            return std::string();
        return std::string(text);
    };
    EXPECT_EQ(value("ProductName"), kTitle);
    EXPECT_EQ(value("ProductVersion"), EMCB_VERSION_TEXT);
    EXPECT_EQ(value("OriginalFilename"), "emcb-configurator.exe");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), EMCB_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), EMCB_VERSION_MINOR);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), EMCB_VERSION_PATCH);
}

TEST(ConfiguratorDlg, ManifestAsksForCommonControls6AsInvokerAndPerMonitorDpi) {
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(bytes, SizeofResource(module, found));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor<"), std::string::npos);
    EXPECT_NE(manifest.find(">true/pm<"), std::string::npos);
}

}  // namespace
}  // namespace win32::test
