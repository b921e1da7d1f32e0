#include "os/log_folder.h"

namespace os {

const char* LogFolder() {
    return "Z:\\Velmora\\Software\\Brenholt-Configurator\\Log\\";
}

}  // namespace os
