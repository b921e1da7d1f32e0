#include "os/single_instance.h"

#include "os/windows_headers.h"

namespace os {

// A named mutex: its creator owns the name; a later CreateMutex of the same name,
// from any process, opens it and reports ERROR_ALREADY_EXISTS.
struct SingleInstance::Platform {
    HANDLE mutex = nullptr;
};

SingleInstance::SingleInstance() : platform_(std::make_unique<Platform>()) {}

SingleInstance::~SingleInstance() {
    Release();
}

bool SingleInstance::Acquire(const std::string& name) {
    Release();
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex == nullptr) {
        error_ = static_cast<int>(GetLastError());
        return false;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        error_ = ERROR_ALREADY_EXISTS;
        CloseHandle(mutex);
        return false;
    }
    platform_->mutex = mutex;
    error_ = 0;
    return true;
}

void SingleInstance::Release() {
    if (platform_->mutex != nullptr) CloseHandle(platform_->mutex);
    platform_->mutex = nullptr;
}

bool SingleInstance::IsHeld() const {
    return platform_->mutex != nullptr;
}

}  // namespace os
