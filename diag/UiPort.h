// The port through which the layers below the front-ends talk to the user: plain
// message boxes, the Retry/Cancel question, progress windows, the settings store
// that remembers a window's position, and the stages of a running job. Each
// front-end installs its implementation at start-up; until then a default writes
// everything to the log, answers every question with Cancel and keeps settings in
// memory.
//
// Install the port before any thread uses it and keep it alive until every such
// thread has ended. The port's own calls may come from any thread; a progress window
// belongs to the thread that created it.
#pragma once

#include <memory>
#include <string>

#include "diag/JobStage.h"

namespace diag {

// A window showing how far an upload has gone. Every call comes from the thread that
// created it; only IsCancelled reads state that the user's side may change.
class ProgressWindow {
  public:
    virtual ~ProgressWindow() = default;

    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void MoveTo(int x, int y) = 0;
    virtual void SetRange(int lower, int upper, int step) = 0;
    // Shows a hidden window; the caption changes only when the percentage does.
    virtual void SetPos(int position) = 0;
    // Set once the user pressed Cancel (or Escape); never cleared.
    virtual bool IsCancelled() const = 0;
    // Lets the window handle its pending input, Escape acting as Cancel if asked.
    virtual void PumpMessages(bool cancelOnEscape) = 0;
    // The window's title with the percentage, as last written.
    virtual std::string Caption() const = 0;
};

// Integer values by section and key, persisted by the front-end.
class SettingsPort {
  public:
    virtual ~SettingsPort() = default;
    virtual int GetInt(const std::string& section, const std::string& key,
                       int defaultValue) const = 0;
    // False when the value could not be stored.
    virtual bool SetInt(const std::string& section, const std::string& key, int value) = 0;
};

class UiPort {
  public:
    virtual ~UiPort() = default;

    // A plain box with OK; returns when the user has seen it.
    virtual void ShowMessage(const std::string& text) = 0;
    // True for Retry, false for Cancel.
    virtual bool AskRetryCancel(const std::string& text) = 0;
    // A hidden window; null when the front-end cannot make one.
    virtual std::unique_ptr<ProgressWindow> CreateProgressWindow(const std::string& title,
                                                                 bool smooth) = 0;
    virtual SettingsPort& Settings() = 0;
    // A stage of the running job, in order, from whichever of the job's threads met
    // it. It must return at once (the job's services wait for it); a front-end that
    // shows no stages keeps this default, which ignores them.
    virtual void OnJobStage(const JobStage& stage) { static_cast<void>(stage); }
    // While true, the job is ending its services at the user's request or at its time
    // limit: a box that one of its worker threads shows, open now or to come, closes at
    // once (a question as Cancel), so that no box holds up the end. Then false again.
    // Any thread; a front-end whose workers show no boxes keeps this default.
    virtual void SetCancelling(bool cancelling) { static_cast<void>(cancelling); }
};

// Installs `port` for the whole process (not owned); null brings back the default.
void SetUiPort(UiPort* port);
// The installed port, or the logging default.
UiPort& Ui();

}  // namespace diag
