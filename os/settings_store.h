// The application's persistent integer settings, by section and key: the registry
// under HKEY_CURRENT_USER\Software\Local AppWizard-Generated Applications\<app> on
// Windows, <config folder>/<app>.ini on Linux (the config folder is $XDG_CONFIG_HOME,
// else ~/.config). Values are read and written at once, never cached. Not for
// concurrent use from several threads.
#pragma once

#include <string>

namespace os {

class SettingsStore {
  public:
    explicit SettingsStore(std::string applicationName);

    // `defaultValue` when the value is missing or unreadable.
    int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
    // False when the value could not be stored.
    bool SetInt(const std::string& section, const std::string& key, int value);

    // Where the values live: the registry key or the file path.
    std::string Location() const;

  private:
    std::string applicationName_;
};

}  // namespace os
