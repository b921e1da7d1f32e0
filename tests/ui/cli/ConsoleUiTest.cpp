#include "ui/cli/ConsoleUi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "diag/ProgressRules.h"
#include "os/settings_store.h"
#include "tests/support/ScratchSettings.h"
#include "ui/cli/ConsoleUiProgressWindow.h"

namespace cli {
namespace {

// A temporary file standing in for a stream; its whole text can be read back.
class TempStream {
  public:
    TempStream() : file_(std::tmpfile()) {}
    ~TempStream() { std::fclose(file_); }
    explicit TempStream(const std::string& text) : TempStream() {
        std::fputs(text.c_str(), file_);
        std::rewind(file_);
    }
    std::FILE* get() const { return file_; }
    std::string Text() const {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_))
            text.push_back(static_cast<char>(c));
        return text;
    }

  private:
    std::FILE* file_;
};

ConsoleUi MakeUi(const TempStream& in, const TempStream& out, bool inIsTerminal,
                 bool retryWhenUnattended = false) {
    // These never save a position; a store of its own all the same.
    return ConsoleUi({in.get(), out.get(), inIsTerminal, false}, retryWhenUnattended,
                     os::SettingsStore("emcb-console-ui-test",
                                       os::SettingsStore::ScratchRoot("console-ui-test")));
}

TEST(ConsoleUi, ShowsMessagesWhole) {
    TempStream in, out;
    ConsoleUi ui = MakeUi(in, out, true);
    ui.ShowMessage("Error programming the flash.\nReset the board.");
    EXPECT_EQ(out.Text(), "\nError programming the flash.\nReset the board.\n");
}

TEST(ConsoleUi, UnattendedQuestionGetsTheConfiguredAnswerAndSaysSo) {
    TempStream in("r\n"), out;
    ConsoleUi cancelling = MakeUi(in, out, false, false);
    EXPECT_FALSE(cancelling.AskRetryCancel(" is not responding."));
    EXPECT_NE(out.Text().find("[not a terminal: Cancel]"), std::string::npos);
    ConsoleUi retrying = MakeUi(in, out, false, true);
    EXPECT_TRUE(retrying.AskRetryCancel(" is not responding."));
    EXPECT_NE(out.Text().find("[not a terminal: Retry]"), std::string::npos);
}

TEST(ConsoleUi, TerminalAnswersAreReadUntilOneMakesSense) {
    TempStream in("maybe\nR\nc\n"), out;
    ConsoleUi ui = MakeUi(in, out, true);
    EXPECT_TRUE(ui.AskRetryCancel("again?"));   // "maybe" is asked again
    EXPECT_FALSE(ui.AskRetryCancel("again?"));  // "c"
    EXPECT_NE(out.Text().find("[R]etry or [C]ancel? [R]etry or [C]ancel? "), std::string::npos);
}

TEST(ConsoleUi, EndOfInputMeansCancel) {
    TempStream in(""), out;
    ConsoleUi ui = MakeUi(in, out, true, true);
    EXPECT_FALSE(ui.AskRetryCancel("again?"));
}

TEST(ConsoleUiProgressWindow, OffATerminalPrintsOneLinePerCaptionChange) {
    TempStream out;
    {
        ConsoleUiProgressWindow window("Tftp Uploading", out.get(), false);
        window.SetRange(0, 21532, 1);
        window.SetPos(0);    // shows it: the bare title
        window.SetPos(100);  // still 0 %: nothing new
        window.SetPos(512);
        window.SetPos(21504);
        EXPECT_EQ(window.Caption(), "Tftp Uploading [100%]");
        EXPECT_FALSE(window.IsCancelled());
    }
    const std::string empty(40, '.');
    EXPECT_EQ(out.Text(), "Tftp Uploading [" + empty + "]\n" + "Tftp Uploading [2%] [" +
                              std::string(0, '#') + empty + "]\n" + "Tftp Uploading [100%] [" +
                              std::string(40, '#') + "]\n");
}

TEST(ConsoleUiProgressWindow, OnATerminalRewritesTheLineAndEndsItWhenHidden) {
    TempStream out;
    ConsoleUiProgressWindow window("FPGA Uploading", out.get(), true);
    window.SetRange(0, 100, 1);
    window.SetPos(50);
    window.Hide();
    const std::string text = out.Text();
    EXPECT_EQ(text.front(), '\r');
    EXPECT_NE(text.find("\rFPGA Uploading [50%] [" + std::string(20, '#')), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
}

TEST(ConsoleUi, KeepsTheProgressWindowPositionInItsStore) {
    const testsupport::ScratchSettings scratch;
    TempStream in, out;
    ConsoleUi ui({in.get(), out.get(), false, false}, false, scratch.Store());
    diag::SavePosition(ui.Settings(), {100, 200});
    EXPECT_EQ(diag::RestoredPosition(ui.Settings(), 1024, 768), (diag::ScreenPoint{100, 200}));
    EXPECT_EQ(scratch.Store().GetInt("Settings", "X", -1), 100);
    EXPECT_EQ(scratch.Store().GetInt("Settings", "Y", -1), 200);
}

}  // namespace
}  // namespace cli
