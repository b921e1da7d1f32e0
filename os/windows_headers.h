// The one place that includes the Windows headers, with the settings every
// Windows backend of the platform layer relies on.
#pragma once

#ifndef _WIN32
#error "windows_headers.h is for the Windows backends only"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on
