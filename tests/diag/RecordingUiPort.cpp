#include "tests/diag/RecordingUiPort.h"

#include <thread>
#include <utility>

#include "diag/ProgressRules.h"

namespace diag {

// The window handed to the code under test; it writes through to its record.
class RecordingUiPort::RecordedWindow final : public ProgressWindow {
  public:
    RecordedWindow(RecordingUiPort& port, std::shared_ptr<WindowRecord> record)
        : port_(port), record_(std::move(record)), rules_(record_->title) {}
    ~RecordedWindow() override {
        Update([](WindowRecord& r) { r.destroyed = true; });
    }

    void Show() override {
        Update([](WindowRecord& r) { r.visible = true; });
    }
    void Hide() override {
        Update([](WindowRecord& r) { r.visible = false; });
    }
    void MoveTo(int x, int y) override {
        Update([x, y](WindowRecord& r) {
            r.x = x;
            r.y = y;
        });
    }
    void SetRange(int lower, int upper, int step) override {
        rules_.SetRange(lower, upper, step);
        Update([lower, upper](WindowRecord& r) {
            r.lower = lower;
            r.upper = upper;
        });
    }
    void SetPos(int position) override {
        const bool changed = rules_.SetPos(position);
        const std::string caption = rules_.Caption();
        Update([&](WindowRecord& r) {
            r.visible = true;
            r.positions.push_back(position);
            if (changed) r.captions.push_back(caption);
        });
    }
    bool IsCancelled() const override {
        std::lock_guard lock(port_.mutex_);
        return record_->cancelled;
    }
    void PumpMessages(bool) override {
        Update([](WindowRecord& r) { ++r.pumps; });
    }
    std::string Caption() const override { return rules_.Caption(); }

  private:
    template <typename Change>
    void Update(Change change) {
        {
            std::lock_guard lock(port_.mutex_);
            change(*record_);
        }
    }

    RecordingUiPort& port_;
    std::shared_ptr<WindowRecord> record_;
    ProgressRules rules_;
};

RecordingUiPort::RecordingUiPort() {
    SetUiPort(this);
}

RecordingUiPort::~RecordingUiPort() {
    SetUiPort(nullptr);
}

void RecordingUiPort::ScriptAnswers(std::vector<bool> answers, bool defaultAnswer) {
    std::lock_guard lock(mutex_);
    answers_.assign(answers.begin(), answers.end());
    defaultAnswer_ = defaultAnswer;
}

void RecordingUiPort::LeaveQuestionsOpen() {
    std::lock_guard lock(mutex_);
    leaveOpen_ = true;
}

std::vector<JobStageKind> RecordingUiPort::StageKinds() const {
    std::lock_guard lock(mutex_);
    return stageKinds_;
}

void RecordingUiPort::OnJobStage(const JobStage& stage) {
    std::lock_guard lock(mutex_);
    stageKinds_.push_back(stage.kind);
}

void RecordingUiPort::SetCancelling(bool cancelling) {
    {
        std::lock_guard lock(mutex_);
        cancelling_ = cancelling;
    }
    cancellingChanged_.notify_all();
}

std::vector<std::string> RecordingUiPort::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::string> RecordingUiPort::Questions() const {
    std::lock_guard lock(mutex_);
    return questions_;
}

std::size_t RecordingUiPort::WindowCount() const {
    std::lock_guard lock(mutex_);
    return windows_.size();
}

RecordingUiPort::WindowRecord RecordingUiPort::Window(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return index < windows_.size() ? *windows_[index] : WindowRecord{};
}

void RecordingUiPort::PressCancel(std::size_t index) {
    {
        std::lock_guard lock(mutex_);
        if (index < windows_.size()) windows_[index]->cancelled = true;
    }
}

bool RecordingUiPort::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void RecordingUiPort::ShowMessage(const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(text);
    }
}

bool RecordingUiPort::AskRetryCancel(const std::string& text) {
    bool answer = false;
    {
        std::unique_lock lock(mutex_);
        questions_.push_back(text);
        if (leaveOpen_) {
            // Bounded, so that a job that never cancels fails its test instead of hanging.
            cancellingChanged_.wait_for(lock, std::chrono::seconds(30),
                                        [this] { return cancelling_; });
            return false;
        }
        answer = defaultAnswer_;
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
    }
    return answer;
}

std::unique_ptr<ProgressWindow> RecordingUiPort::CreateProgressWindow(const std::string& title,
                                                                      bool smooth) {
    auto record = std::make_shared<WindowRecord>();
    record->title = title;
    record->smooth = smooth;
    record->captions.push_back(title);
    {
        std::lock_guard lock(mutex_);
        windows_.push_back(record);
    }
    return std::make_unique<RecordedWindow>(*this, record);
}

int RecordingUiPort::GetInt(const std::string& section, const std::string& key,
                            int defaultValue) const {
    std::lock_guard lock(mutex_);
    const auto found = settings_.find(section + '\n' + key);
    return found == settings_.end() ? defaultValue : found->second;
}

bool RecordingUiPort::SetInt(const std::string& section, const std::string& key, int value) {
    std::lock_guard lock(mutex_);
    settings_[section + '\n' + key] = value;
    return true;
}

}  // namespace diag
