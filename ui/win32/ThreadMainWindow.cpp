#include "ui/win32/ThreadMainWindow.h"

namespace win32 {
namespace {

thread_local HWND mainWindow = nullptr;

}  // namespace

HWND ThreadMainWindow() {
    return mainWindow;
}

ScopedThreadMainWindow::ScopedThreadMainWindow(HWND window) : previous_(mainWindow) {
    mainWindow = window;
}

ScopedThreadMainWindow::~ScopedThreadMainWindow() {
    mainWindow = previous_;
}

}  // namespace win32
