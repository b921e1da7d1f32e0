// A Win32 HANDLE that is closed when its owner goes. Either of the two values the API
// uses for "no handle" (null, and CreateFile's INVALID_HANDLE_VALUE) is left alone.
#pragma once

#include "os/windows_headers.h"

namespace os {

class OwnedHandle {
  public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle() { Close(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE Get() const { return handle_; }
    // For an API that hands the handle back through a pointer.
    HANDLE* Out() { return &handle_; }
    void Close() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = nullptr;
    }

  private:
    HANDLE handle_ = nullptr;
};

}  // namespace os
