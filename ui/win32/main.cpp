// The Windows configurator: one dialog that programs a board.
#include "ui/win32/CConfiguratorApp.h"

namespace {

win32::CConfiguratorApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return theApp.InitInstance(instance);
}
