// The Windows UI port: plain boxes captioned with the program's title, shown by the
// thread that asks, owned by that thread's main window or else above everything.
#include "ui/win32/Win32Ui.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/ui/win32/ModalRunner.h"
#include "tests/ui/win32/TestSettings.h"
#include "ui/win32/ThreadMainWindow.h"

namespace win32::test {
namespace {

constexpr const char* kBoxTitle = TestSettings::kTitle;

// The box's text and the ids of its buttons.
struct BoxContents {
    std::string text;
    std::vector<int> buttons;
};

BoxContents ReadBox(HWND box) {
    BoxContents contents;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) == "Button") contents.buttons.push_back(GetDlgCtrlID(child));
        if (ClassName(child) == "Static" && !WindowText(child).empty())
            contents.text = WindowText(child);
    }
    return contents;
}

bool IsTopmost(HWND window) {
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

class Win32UiTest : public ::testing::Test {
  protected:
    TestSettings settings_;
};

TEST_F(Win32UiTest, MessageIsAnOkBoxCaptionedWithTheTitleAboveEverythingOnAWorker) {
    bool seen = false;
    WhenWindowAppears(DialogTitled(kBoxTitle), [&](HWND box) {
        seen = true;
        const BoxContents contents = ReadBox(box);
        EXPECT_EQ(contents.text, "Programming Complete");
        EXPECT_EQ(contents.buttons, std::vector<int>{IDOK});
        EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
        EXPECT_TRUE(IsTopmost(box)) << "the topmost progress window must not hide it";
        PostClick(GetDlgItem(box, IDOK));
    });
    settings_.Ui().ShowMessage("Programming Complete");
    EXPECT_TRUE(seen);
}

TEST_F(Win32UiTest, MessageOnTheDialogsThreadBelongsToTheDialog) {
    const HWND main = CreateWindowExA(0, "STATIC", "main", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                                      nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(main, nullptr);
    ScopedThreadMainWindow scope(main);
    WhenWindowAppears(DialogTitled(kBoxTitle), [&](HWND box) {
        EXPECT_EQ(GetWindow(box, GW_OWNER), main);
        EXPECT_FALSE(IsWindowEnabled(main)) << "modal to its owner";
        EXPECT_FALSE(IsTopmost(box));
        PostClick(GetDlgItem(box, IDOK));
    });
    settings_.Ui().ShowMessage("EnetDevice init failure.\n");
    EXPECT_TRUE(IsWindowEnabled(main));
    DestroyWindow(main);
}

TEST_F(Win32UiTest, RetryCancelQuestionAnswersWhatWasPressed) {
    const std::string question = " is not responding.\n\nRetry or Quit Plugin (cancel)?";
    for (const int pressed : {IDRETRY, IDCANCEL}) {
        WhenWindowAppears(DialogTitled(kBoxTitle), [&](HWND box) {
            const BoxContents contents = ReadBox(box);
            EXPECT_EQ(contents.text, question);
            EXPECT_EQ(contents.buttons, (std::vector<int>{IDRETRY, IDCANCEL}));
            PostClick(GetDlgItem(box, pressed));
        });
        EXPECT_EQ(settings_.Ui().AskRetryCancel(question), pressed == IDRETRY);
    }
}

struct FoundBox {
    HWND box = nullptr;
    DWORD processId = 0;
};

BOOL CALLBACK FindBoxOfProcess(HWND window, LPARAM found) {
    auto* result = reinterpret_cast<FoundBox*>(found);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == result->processId && IsWindowVisible(window) && ClassName(window) == "#32770" &&
        WindowText(window) == kBoxTitle) {
        result->box = window;
        return FALSE;
    }
    return TRUE;
}

// A box of this process's, within 5 s; null if none appears.
HWND WaitForBoxOfThisProcess() {
    FoundBox found;
    found.processId = GetCurrentProcessId();
    for (int i = 0; i < 250 && found.box == nullptr; ++i) {
        Sleep(20);
        EnumWindows(&FindBoxOfProcess, reinterpret_cast<LPARAM>(&found));
    }
    return found.box;
}

// The TFTP worker asks on its own thread; the question must come from that thread.
TEST_F(Win32UiTest, QuestionFromAWorkerIsShownByTheWorker) {
    std::atomic<bool> answer{true};
    DWORD workerId = 0;
    std::thread worker([&] {
        workerId = GetCurrentThreadId();
        answer = settings_.Ui().AskRetryCancel("Board is not responding.");
    });
    const HWND box = WaitForBoxOfThisProcess();
    ASSERT_NE(box, nullptr) << "no question appeared";
    EXPECT_EQ(GetWindowThreadProcessId(box, nullptr), workerId);
    PostClick(GetDlgItem(box, IDCANCEL));
    worker.join();
    EXPECT_FALSE(answer);
}

// A job that ends its services must not wait for a worker's box the user left open.
TEST_F(Win32UiTest, WhileTheJobIsCancellingAWorkersBoxesCloseAsCancel) {
    std::atomic<int> answered{0};
    std::atomic<bool> firstAnswer{true};
    std::atomic<bool> laterAnswer{true};
    std::thread worker([&] {
        firstAnswer = settings_.Ui().AskRetryCancel("Board is not responding.");
        answered = 1;
        settings_.Ui().ShowMessage("Error programming the flash on the motion control board.");
        laterAnswer = settings_.Ui().AskRetryCancel("Board is not responding.");
        answered = 2;
    });
    const HWND box = WaitForBoxOfThisProcess();
    ASSERT_NE(box, nullptr) << "no question appeared";
    settings_.Ui().SetCancelling(true);
    for (int i = 0; i < 100 && answered != 2; ++i)
        Sleep(20);
    EXPECT_EQ(answered, 2) << "a box stayed open";
    worker.join();
    settings_.Ui().SetCancelling(false);
    EXPECT_FALSE(firstAnswer);
    EXPECT_FALSE(laterAnswer);
}

TEST_F(Win32UiTest, ProgressWindowsArePopupsAndSettingsGoToTheApplicationsKey) {
    auto window = settings_.Ui().CreateProgressWindow("Tftp Uploading", true);
    ASSERT_NE(window, nullptr);
    window->SetRange(0, 200, 1);
    window->SetPos(100);
    EXPECT_EQ(window->Caption(), "Tftp Uploading [50%]");
    window.reset();

    EXPECT_EQ(settings_.Ui().SettingsLocation(), settings_.Key());
    ASSERT_TRUE(settings_.Ui().Settings().SetInt("Settings", "X", 42));
    EXPECT_EQ(settings_.RegistryValue("X"), 42);
    EXPECT_EQ(settings_.Ui().Settings().GetInt("Settings", "Missing", -1), -1);
}

}  // namespace
}  // namespace win32::test
