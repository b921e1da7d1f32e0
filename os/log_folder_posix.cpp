#include "os/log_folder.h"

namespace os {

const char* LogFolder() {
    return "/Velmora/Software/Brenholt-Configurator/Log/";
}

}  // namespace os
