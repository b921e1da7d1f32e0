// The settings port of a front-end: the platform's settings store, behind a lock so
// that the job's threads and the GUI thread may share it.
#pragma once

#include <mutex>
#include <string>

#include "diag/UiPort.h"
#include "os/settings_store.h"

namespace diag {

class StoredSettings final : public SettingsPort {
  public:
    explicit StoredSettings(os::SettingsStore store);

    int GetInt(const std::string& section, const std::string& key, int defaultValue) const override;
    bool SetInt(const std::string& section, const std::string& key, int value) override;
    // The registry key or the file the values live in.
    std::string Location() const { return store_.Location(); }

  private:
    mutable std::mutex mutex_;
    os::SettingsStore store_;
};

}  // namespace diag
