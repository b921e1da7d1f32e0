// The fixed folder of the diagnostic log. Both builds name the same folder on a
// machine where drive Z: maps to the root, as Wine's does.
#pragma once

namespace os {

// The folder text, ending in the platform's path separator.
const char* LogFolder();

}  // namespace os
