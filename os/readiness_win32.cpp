#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "os/owned_handle_win32.h"
#include "os/readiness.h"
#include "os/windows_headers.h"
#include "os/wsa_errors.h"

namespace os {
namespace {

constexpr DWORD kNetshWaitMs = 10000;
constexpr ULONG kAddressesRoom = 16 * 1024;

std::string Narrow(const wchar_t* text) {
    if (text == nullptr) return "";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return "";
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), size, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(size - 1));
    return narrow;
}

std::string FirstIpv4(const IP_ADAPTER_ADDRESSES& adapter) {
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter.FirstUnicastAddress;
         unicast != nullptr; unicast = unicast->Next) {
        const SOCKADDR* address = unicast->Address.lpSockaddr;
        if (address == nullptr || address->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = "";
        const auto* inet = reinterpret_cast<const sockaddr_in*>(address);
        if (inet_ntop(AF_INET, &inet->sin_addr, text, sizeof text) != nullptr) return text;
    }
    return "";
}

// netsh's output and exit code; nothing when it could not be run or did not end.
std::optional<std::pair<std::string, DWORD>> RunNetsh(std::string commandLine) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    OwnedHandle readEnd;
    OwnedHandle writeEnd;
    if (CreatePipe(readEnd.Out(), writeEnd.Out(), &inherit, 0) == 0) return std::nullopt;
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    startup.hStdInput = nullptr;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &process) == 0)
        return std::nullopt;
    const OwnedHandle processHandle(process.hProcess);
    const OwnedHandle threadHandle(process.hThread);
    writeEnd.Close();  // so that the read ends when netsh does
    std::string output;
    char chunk[4096];
    DWORD got = 0;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kNetshWaitMs) {
        DWORD waiting = 0;
        if (PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &waiting, nullptr) == 0) break;
        if (waiting == 0) {
            if (WaitForSingleObject(processHandle.Get(), 50) == WAIT_OBJECT_0 &&
                (PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &waiting, nullptr) == 0 ||
                 waiting == 0))
                break;
            continue;
        }
        if (ReadFile(readEnd.Get(), chunk, sizeof chunk, &got, nullptr) == 0 || got == 0) break;
        output.append(chunk, got);
    }
    if (WaitForSingleObject(processHandle.Get(), 0) != WAIT_OBJECT_0) {
        TerminateProcess(processHandle.Get(), 1);
        return std::nullopt;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(processHandle.Get(), &exitCode);
    return std::make_pair(output, exitCode);
}

}  // namespace

std::optional<bool> LinkIsUp(const AdapterInfo& adapter) {
    MIB_IFROW row{};
    row.dwIndex = adapter.index;
    if (GetIfEntry(&row) != NO_ERROR) return std::nullopt;
    return row.dwOperStatus == IF_OPER_STATUS_OPERATIONAL ||
           row.dwOperStatus == IF_OPER_STATUS_CONNECTED;
}

std::vector<LoopbackAdapter> LoopbackAdapters() {
    std::vector<LoopbackAdapter> found;
    ULONG size = kAddressesRoom;
    std::vector<unsigned char> room(size);
    auto* first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(room.data());
    ULONG error = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_DNS_SERVER, nullptr, first, &size);
    if (error == ERROR_BUFFER_OVERFLOW) {
        room.resize(size);
        first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(room.data());
        error = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_DNS_SERVER, nullptr, first, &size);
    }
    if (error != NO_ERROR) return found;
    for (const IP_ADAPTER_ADDRESSES* adapter = first; adapter != nullptr; adapter = adapter->Next)
        if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK)
            found.push_back({Narrow(adapter->FriendlyName), FirstIpv4(*adapter)});
    return found;
}

BindRefusal ClassifyBindError(int wsaCode) {
    // WSAEACCES: another socket has the port for its exclusive use, or the system
    // reserves it; no right of this user would change that.
    if (wsaCode == kWsaEAddrInUse || wsaCode == kWsaEAcces) return BindRefusal::kInUse;
    return BindRefusal::kOther;
}

FirewallRuleState FindFirewallRule(const std::string& name) {
    const auto result = RunNetsh("netsh advfirewall firewall show rule name=\"" + name + "\"");
    if (!result) return FirewallRuleState::kUnknown;
    const auto& [output, exitCode] = *result;
    // The rule's own name is in its listing in any language; "No rules match" is not.
    if (exitCode == 0 && output.find(name) != std::string::npos) return FirewallRuleState::kPresent;
    if (exitCode != 0 && output.find("No rules match") != std::string::npos)
        return FirewallRuleState::kMissing;
    return FirewallRuleState::kUnknown;
}

}  // namespace os
