// Serial ports on Windows: CreateFile on the port's name, the DCB, the
// COMMTIMEOUTS that make ReadFile return with the first byte, and the named
// mutex that keeps a second copy of the program away.
#include "system.h"

#include <windows.h>

#include <cerrno>

namespace win {

namespace {

// The read time-out the port has now, so that it is set only when it changes.
struct PortState {
    HANDLE handle;
    unsigned timeoutMs;
};

PortState* StateOf(Handle port) {
    return static_cast<PortState*>(port);
}

std::wstring DevicePath(const std::string& device) {
    // "COM10" and above are reached only through the device namespace.
    if (device.find('\\') == std::string::npos && device.find('/') == std::string::npos) {
        return L"\\\\.\\" + Wide(device);
    }
    return Wide(device);
}

} // namespace

Handle OpenComm(const std::string& device, unsigned long& error) {
    const HANDLE handle = ::CreateFileW(DevicePath(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return kNoHandle;
    }
    if (::GetFileType(handle) != FILE_TYPE_CHAR) {
        ::CloseHandle(handle);
        error = ERROR_BAD_DEVICE;
        return kNoHandle;
    }
    return new PortState{handle, ~0u};
}

bool GetLine(Handle port, LineSettings& line, unsigned long& error) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(StateOf(port)->handle, &dcb)) {
        error = ::GetLastError();
        return false;
    }
    line = LineSettings{};
    line.baudRate = dcb.BaudRate;
    line.byteSize = dcb.ByteSize;
    line.parity = dcb.Parity;
    line.stopBits = dcb.StopBits;
    line.parityCheck = dcb.fParity != 0;
    line.ctsFlow = dcb.fOutxCtsFlow != 0;
    line.dtr = dcb.fDtrControl == DTR_CONTROL_ENABLE;
    line.rts = dcb.fRtsControl == RTS_CONTROL_ENABLE;
    line.outX = dcb.fOutX != 0;
    line.inX = dcb.fInX != 0;
    line.xonChar = dcb.XonChar;
    line.xoffChar = dcb.XoffChar;
    line.eofChar = dcb.EofChar;
    return true;
}

bool SetLine(Handle port, const LineSettings& line, unsigned long& error) {
    const HANDLE handle = StateOf(port)->handle;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb)) {
        error = ::GetLastError();
        return false;
    }
    dcb.BaudRate = line.baudRate;
    dcb.ByteSize = line.byteSize;
    dcb.Parity = line.parity;
    dcb.StopBits = line.stopBits;
    dcb.fBinary = TRUE;
    dcb.fParity = line.parityCheck ? TRUE : FALSE;
    dcb.fOutxCtsFlow = line.ctsFlow ? TRUE : FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = line.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = line.ctsFlow ? RTS_CONTROL_HANDSHAKE
                      : line.rts   ? RTS_CONTROL_ENABLE
                                   : RTS_CONTROL_DISABLE;
    dcb.fOutX = line.outX ? TRUE : FALSE;
    dcb.fInX = line.inX ? TRUE : FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.XonChar = line.xonChar;
    dcb.XoffChar = line.xoffChar;
    dcb.EofChar = line.eofChar;
    if (!::SetCommState(handle, &dcb)) {
        error = ::GetLastError();
        return false;
    }
    // The DCB read back does not show the modem lines as they are, and a
    // virtual port refuses to set them (error 50): both are let be.
    ::EscapeCommFunction(handle, line.dtr ? SETDTR : CLRDTR);
    if (!line.ctsFlow) {
        ::EscapeCommFunction(handle, line.rts ? SETRTS : CLRRTS);
    }
    return true;
}

CommRead ReadCommByte(Handle port, std::uint8_t& byte, unsigned timeoutMs, unsigned long& error) {
    PortState* state = StateOf(port);
    if (state->timeoutMs != timeoutMs) {
        // ReadFile returns as soon as a byte is there, or after the time-out.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = timeoutMs > 0 ? timeoutMs : 1;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = 0;
        if (!::SetCommTimeouts(state->handle, &timeouts)) {
            error = ::GetLastError();
            return CommRead::Failed;
        }
        state->timeoutMs = timeoutMs;
    }
    DWORD got = 0;
    if (!::ReadFile(state->handle, &byte, 1, &got, nullptr)) {
        error = ::GetLastError();
        return CommRead::Failed;
    }
    if (got == 1) {
        return CommRead::Byte;
    }
    // No byte: a line that is gone says so here (an unplugged adapter, a
    // peer that hung up), where ReadFile only waited out its time.
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(state->handle, &errors, &status)) {
        error = ::GetLastError();
        return CommRead::Failed;
    }
    return CommRead::Nothing;
}

bool WriteComm(Handle port, const void* data, std::size_t size, unsigned stallMs,
               unsigned long& error) {
    const HANDLE handle = StateOf(port)->handle;
    COMMTIMEOUTS timeouts{};
    if (::GetCommTimeouts(handle, &timeouts)) {
        if (timeouts.WriteTotalTimeoutConstant != stallMs ||
            timeouts.WriteTotalTimeoutMultiplier != 0) {
            timeouts.WriteTotalTimeoutMultiplier = 0;
            timeouts.WriteTotalTimeoutConstant = stallMs;
            ::SetCommTimeouts(handle, &timeouts);
        }
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        DWORD put = 0;
        const DWORD chunk = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
        if (!::WriteFile(handle, bytes, chunk, &put, nullptr)) {
            error = ::GetLastError();
            return false;
        }
        if (put == 0) {
            error = ERROR_SEM_TIMEOUT;
            return false;
        }
        bytes += put;
        size -= put;
    }
    return true;
}

void CloseComm(Handle port) {
    PortState* state = StateOf(port);
    ::CloseHandle(state->handle);
    delete state;
}

namespace {

std::wstring MutexName(const std::string& name) {
    return L"Local\\" + Wide(name);
}

} // namespace

Handle TakePortMutex(const std::string& name, int& error) {
    const HANDLE mutex = ::CreateMutexW(nullptr, TRUE, MutexName(name).c_str());
    if (mutex == nullptr) {
        error = ErrnoOf(::GetLastError());
        return kNoHandle;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        error = EBUSY;
        return kNoHandle;
    }
    return mutex;
}

void ReleasePortMutex(Handle mutex) {
    ::ReleaseMutex(static_cast<HANDLE>(mutex));
    ::CloseHandle(static_cast<HANDLE>(mutex));
}

bool PortMutexHeld(const std::string& name) {
    const HANDLE mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, MutexName(name).c_str());
    if (mutex == nullptr) {
        return false;
    }
    ::CloseHandle(mutex);
    return true;
}

bool DosDeviceExists(const std::string& name) {
    wchar_t target[1024];
    return ::QueryDosDeviceW(Wide(name).c_str(), target, 1024) != 0;
}

} // namespace win
