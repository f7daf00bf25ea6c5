// The serial ports Windows lists: the registry's SERIALCOMM map and the
// device installer's ports class.
#include "system.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

namespace win {

namespace {

// The ports class: {4D36E978-E325-11CE-BFC1-08002BE10318}.
constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

std::wstring RegistryString(HKEY key, const wchar_t* name) {
    wchar_t value[512] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return value;
}

long RegistryNumber(HKEY key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD) {
        return -1;
    }
    return static_cast<long>(value);
}

// A device property: its strings (one, or each of a list).
std::vector<std::string> Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[2048] = {};
    DWORD type = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                             reinterpret_cast<BYTE*>(buffer),
                                             sizeof buffer - 2 * sizeof(wchar_t), nullptr)) {
        return {};
    }
    std::vector<std::string> strings;
    for (const wchar_t* at = buffer; *at != L'\0'; at += wcslen(at) + 1) {
        strings.push_back(Utf8(at));
        if (type != REG_MULTI_SZ) {
            break;
        }
    }
    return strings;
}

std::string FirstOf(const std::vector<std::string>& strings) {
    return strings.empty() ? std::string() : strings.front();
}

} // namespace

std::vector<std::string> SerialCommNames() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t data[256] = {};
        DWORD dataSize = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result == ERROR_SUCCESS && type == REG_SZ) {
            names.push_back(Utf8(data));
        }
    }
    ::RegCloseKey(key);
    return names;
}

std::vector<PortRecord> PortRecords() {
    std::vector<PortRecord> records;
    const HDEVINFO set = ::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return records;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        PortRecord record;
        const HKEY parameters =
            ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (parameters != INVALID_HANDLE_VALUE) {
            record.portName = Utf8(RegistryString(parameters, L"PortName"));
            record.latencyTimer = RegistryNumber(parameters, L"LatencyTimer");
            ::RegCloseKey(parameters);
        }
        if (record.portName.empty()) {
            continue;
        }
        record.friendlyName = FirstOf(Property(set, device, SPDRP_FRIENDLYNAME));
        record.hardwareIds = Property(set, device, SPDRP_HARDWAREID);
        record.manufacturer = FirstOf(Property(set, device, SPDRP_MFG));
        record.service = FirstOf(Property(set, device, SPDRP_SERVICE));
        ULONG status = 0;
        ULONG problem = 0;
        if (::CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0) == CR_SUCCESS &&
            (status & DN_HAS_PROBLEM) != 0) {
            record.problem = problem;
        }
        records.push_back(record);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return records;
}

unsigned long ProbePort(const std::string& portName) {
    unsigned long error = 0;
    const Handle port = OpenComm(portName, error);
    if (port == kNoHandle) {
        return error;
    }
    CloseComm(port);
    return 0;
}

} // namespace win
