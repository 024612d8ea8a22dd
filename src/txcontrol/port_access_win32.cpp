// The Windows half of TPortAccess: the "Tvxport" kernel driver, installed and started through
// the service manager on the NT family, loaded as a dynamic virtual device on the 9x family.
#ifdef _WIN32

#include "txcontrol/port_access.h"

#include <windows.h>

#include <string>

namespace tarvex {

namespace {

std::string systemErrorText(DWORD error) {
    char buffer[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, n);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string driverFilePath() {
    const std::string file = std::string(TPortAccess::DriverName) + ".sys";
    char folder[MAX_PATH + 1] = {};
    if (GetCurrentDirectoryA(MAX_PATH, folder) != 0) {
        const std::string local = std::string(folder) + "\\" + file;
        if (GetFileAttributesA(local.c_str()) != INVALID_FILE_ATTRIBUTES)
            return local;
    }
    GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\" + file;
}

} // namespace

int TPortAccess::currentPlatformKind() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996) // GetVersionExA is deprecated but tells 9x from NT
#endif
    if (!GetVersionExA(&info))
        return 0;
    return platformKind(static_cast<int>(info.dwPlatformId), static_cast<int>(info.dwMajorVersion),
                        static_cast<int>(info.dwMinorVersion));
}

namespace {

struct ServiceResult {
    DWORD error = 0; ///< 0: the driver service is installed and running
    std::string text;
};

/// Installs the driver service (unless it exists) and starts it (unless it runs), telling
/// `flags` what this program did itself.
ServiceResult startDriverService(DriverServiceFlags& flags) {
    const char* name = TPortAccess::DriverName;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        const DWORD e = GetLastError();
        return {e, "service manager: " + systemErrorText(e) +
                       " \u2014 run the program as administrator once"};
    }
    const std::string path = driverFilePath();
    SC_HANDLE service = CreateServiceA(
        manager, name, name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
        SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    const bool created = service != nullptr;
    if (!created) {
        const DWORD e = GetLastError();
        if (e != ERROR_SERVICE_EXISTS) {
            CloseServiceHandle(manager);
            return {e, "installing " + path + ": " + systemErrorText(e)};
        }
        service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    }
    flags.afterInstall(created);
    ServiceResult result;
    if (service && StartServiceA(service, 0, nullptr)) {
        flags.afterStart(true);
    } else {
        const DWORD e = service ? GetLastError() : ERROR_SERVICE_DOES_NOT_EXIST;
        if (e == ERROR_SERVICE_ALREADY_RUNNING)
            flags.afterStart(false);
        else
            result = {e, std::string("starting the ") + name + " driver: " + systemErrorText(e) +
                             " \u2014 check that " + path + " exists"};
    }
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}

} // namespace

void TPortAccess::openDevice() {
    std::string device;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (m_kind == 4 || m_kind == 5) {
        const ServiceResult service = startDriverService(m_flags);
        if (service.error != 0) {
            keepError(static_cast<int>(service.error), service.text);
            return;
        }
        device = std::string("\\\\.\\") + DriverName;
        h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    } else {
        // The 9x family loads the driver as a dynamic virtual device.
        device = "\\\\.\\tvxport.vxd";
        h = CreateFileA(device.c_str(), 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            char folder[260] = {};
            GetSystemDirectoryA(folder, sizeof folder);
            device = std::string("\\\\.\\") + folder + "\\tvxport.vxd";
            h = CreateFileA(device.c_str(), 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        }
    }
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        keepError(static_cast<int>(e), device + ": " + systemErrorText(e));
        return;
    }
    m_handle = reinterpret_cast<intptr_t>(h);
}

void TPortAccess::closeDevice() {
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = InvalidHandle;
}

bool TPortAccess::writeToDevice(uint16_t port, uint8_t value) {
    auto request = portWriteRequest(port, value);
    uint8_t reply[2] = {};
    DWORD returned = 0;
    if (!DeviceIoControl(reinterpret_cast<HANDLE>(m_handle), m_codes[1], request.data(),
                         static_cast<DWORD>(request.size()), reply, sizeof reply, &returned,
                         nullptr)) {
        const DWORD e = GetLastError();
        keepError(static_cast<int>(e), std::string(DriverName) + " write: " + systemErrorText(e));
        return false;
    }
    keepSuccess();
    return true;
}

void TPortAccess::releaseService() {
    if ((m_kind != 4 && m_kind != 5) || (!m_flags.stopOnDestroy() && !m_flags.deleteOnDestroy()))
        return;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return;
    if (SC_HANDLE service = OpenServiceA(manager, DriverName, SERVICE_ALL_ACCESS)) {
        if (m_flags.stopOnDestroy()) {
            SERVICE_STATUS status{};
            ControlService(service, SERVICE_CONTROL_STOP, &status);
        }
        if (m_flags.deleteOnDestroy())
            DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

} // namespace tarvex

#endif
