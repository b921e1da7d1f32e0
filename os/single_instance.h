// A machine-wide name that one holder at a time may own, so that a second running
// copy of the program finds its services taken before it opens a socket. Released
// when the owner is destroyed or its process ends, however it ends.
#pragma once

#include <memory>
#include <string>

namespace os {

class SingleInstance {
  public:
    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another holder (in this or another process) owns `name`, or the
    // system refused; Error() then says which.
    bool Acquire(const std::string& name);
    void Release();
    bool IsHeld() const;
    // 0, or the platform's error code of the failed Acquire (183 / EADDRINUSE when held).
    int Error() const { return error_; }

  private:
    struct Platform;
    std::unique_ptr<Platform> platform_;
    int error_ = 0;
};

}  // namespace os
