#include "diag/StoredSettings.h"

#include <utility>

namespace diag {

StoredSettings::StoredSettings(os::SettingsStore store) : store_(std::move(store)) {}

int StoredSettings::GetInt(const std::string& section, const std::string& key,
                           int defaultValue) const {
    std::lock_guard lock(mutex_);
    return store_.GetInt(section, key, defaultValue);
}

bool StoredSettings::SetInt(const std::string& section, const std::string& key, int value) {
    std::lock_guard lock(mutex_);
    return store_.SetInt(section, key, value);
}

}  // namespace diag
