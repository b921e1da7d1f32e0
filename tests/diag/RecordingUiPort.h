// A UI port for tests: records every message, question and progress window, answers
// Retry/Cancel from a script, and lets a test press a window's Cancel. Safe to use
// from the thread under test and the test's thread at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "diag/UiPort.h"

namespace diag {

class RecordingUiPort final : public UiPort, private SettingsPort {
  public:
    // What became of one progress window, kept after the window is gone.
    struct WindowRecord {
        std::string title;
        bool smooth = false;
        std::vector<std::string> captions;  // the bare title first, then every change
        std::vector<int> positions;
        int lower = 0;
        int upper = 100;
        int x = -1;
        int y = -1;
        bool visible = false;
        bool destroyed = false;
        bool cancelled = false;  // set by the test: the user pressed Cancel
        int pumps = 0;
    };

    RecordingUiPort();            // installs itself
    ~RecordingUiPort() override;  // puts the default back

    // Answers for the next questions in order; after them, `defaultAnswer`.
    void ScriptAnswers(std::vector<bool> answers, bool defaultAnswer = false);
    // From now on a question stays open, as a box the user leaves alone, until the job
    // is cancelling (SetCancelling), and is then answered Cancel.
    void LeaveQuestionsOpen();

    std::vector<std::string> Messages() const;
    std::vector<std::string> Questions() const;
    std::vector<JobStageKind> StageKinds() const;
    std::size_t WindowCount() const;
    WindowRecord Window(std::size_t index) const;
    void PressCancel(std::size_t index);

    // Polls `done` until it holds or the time is up; false on time-out.
    static bool WaitFor(const std::function<bool()>& done,
                        std::chrono::milliseconds limit = std::chrono::seconds(10));

    void ShowMessage(const std::string& text) override;
    bool AskRetryCancel(const std::string& text) override;
    std::unique_ptr<ProgressWindow> CreateProgressWindow(const std::string& title,
                                                         bool smooth) override;
    SettingsPort& Settings() override { return *this; }
    void OnJobStage(const JobStage& stage) override;
    void SetCancelling(bool cancelling) override;

  private:
    class RecordedWindow;

    int GetInt(const std::string& section, const std::string& key, int defaultValue) const override;
    bool SetInt(const std::string& section, const std::string& key, int value) override;

    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    std::vector<std::string> questions_;
    std::deque<bool> answers_;
    bool defaultAnswer_ = false;
    bool leaveOpen_ = false;
    bool cancelling_ = false;
    std::condition_variable cancellingChanged_;
    std::vector<JobStageKind> stageKinds_;
    std::vector<std::shared_ptr<WindowRecord>> windows_;
    std::map<std::string, int> settings_;
};

}  // namespace diag
