// The names the Qt configurator gives itself, for main() and for the tests that check
// its windows as a desktop shows them.
#pragma once

namespace qtui {

// Sets the application's name, version, icon and desktop file. No display name: Qt's
// X11 backend would append it to every window title ("Tftp Uploading [42%] — ..."),
// and the titles are the program's own texts.
void SetApplicationIdentity();

}  // namespace qtui
