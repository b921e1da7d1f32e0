// The application's persistent integer settings, by section and key: the registry
// under HKEY_CURRENT_USER\Software\Local AppWizard-Generated Applications\<app> on
// Windows, <config folder>/<app>.ini on Linux (the config folder is $XDG_CONFIG_HOME,
// else ~/.config). Values are read and written at once, never cached; the file is
// replaced whole on each write, so it is never seen half written. Not for concurrent
// use from several threads.
#pragma once

#include <string>

namespace os {

class SettingsStore {
  public:
    // `root`, when given, is where the stores live instead of the user's own: a folder
    // on Linux, a key below HKEY_CURRENT_USER on Windows (tests and tools use it).
    explicit SettingsStore(std::string applicationName, std::string root = {});
    // A root of its own for `tag` (a short name without separators), in the system's
    // temporary folder or a key of the project's: nothing of the user's is touched.
    static std::string ScratchRoot(const std::string& tag);

    // `defaultValue` when the value is missing or unreadable.
    int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
    // False when the value could not be stored.
    bool SetInt(const std::string& section, const std::string& key, int value);

    // Removes every value of the application: its file, or its key with all below it.
    // True when nothing is left.
    bool RemoveAll();

    // Where the values live: the registry key or the file path.
    std::string Location() const;

  private:
    std::string applicationName_;
    std::string root_;
};

}  // namespace os
