// Serial communications over POSIX termios, shaped like the handful of
// Windows calls the utility was designed around: open a port by name, read and
// apply line settings, read one byte, write bytes, close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct SerialDevice;

// A handle to an open serial device. Null means "no port"; INVALID_HANDLE_VALUE
// is what a failed open returns.
using HANDLE = SerialDevice*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

constexpr std::uint8_t NOPARITY = 0;
constexpr std::uint8_t ODDPARITY = 1;
constexpr std::uint8_t EVENPARITY = 2;
constexpr std::uint8_t ONESTOPBIT = 0;
constexpr std::uint8_t TWOSTOPBITS = 2;
constexpr unsigned DTR_CONTROL_DISABLE = 0;
constexpr unsigned DTR_CONTROL_ENABLE = 1;
constexpr unsigned RTS_CONTROL_DISABLE = 0;
constexpr unsigned RTS_CONTROL_ENABLE = 1;
constexpr unsigned RTS_CONTROL_HANDSHAKE = 2;

// Line settings. GetCommState fills every field from the device; SetCommState
// applies them. Fields with no POSIX counterpart are carried but have no effect.
struct DCB {
    std::uint32_t BaudRate = 0;
    unsigned fBinary = 1;
    unsigned fParity = 0;
    unsigned fOutxCtsFlow = 0;
    unsigned fOutxDsrFlow = 0;
    unsigned fDtrControl = DTR_CONTROL_DISABLE;
    unsigned fDsrSensitivity = 0;
    unsigned fTXContinueOnXoff = 0;
    unsigned fOutX = 0;
    unsigned fInX = 0;
    unsigned fErrorChar = 0;
    unsigned fNull = 0;
    unsigned fRtsControl = RTS_CONTROL_DISABLE;
    unsigned fAbortOnError = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = NOPARITY;
    std::uint8_t StopBits = ONESTOPBIT;
    char XonChar = 0x11;
    char XoffChar = 0x13;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
};

// The folder in which port names are looked up; "/dev" unless changed.
void SetSerialDeviceFolder(const std::string& folder);
const std::string& GetSerialDeviceFolder();

// The device paths a port name may stand for, in the order they are tried:
// "COMn" is <folder>/COMn (a link a user or a udev rule can make), then
// <folder>/ttyUSB<n-1>, then <folder>/ttyS<n-1>. Any other name gives none.
std::vector<std::string> PortNameCandidates(const std::string& portName, const std::string& folder);

// The first candidate that exists, or an empty string.
std::string ResolvePortName(const std::string& portName, const std::string& folder);

// Opens the port for reading and writing, for this process alone (an flock
// that every opener of ours respects, plus TIOCEXCL). INVALID_HANDLE_VALUE when
// the port does not exist or cannot be had.
HANDLE OpenSerialPort(const std::string& portName);

bool GetCommState(HANDLE port, DCB& dcb);
bool SetCommState(HANDLE port, const DCB& dcb);

enum class ReadResult {
    Ok,        // one byte was read
    TimedOut,  // nothing arrived within the time allowed
    Failed,    // the read failed or the device is gone
    Cancelled, // the wait hook asked to stop
};

// Called repeatedly while a read waits; returning false abandons the read.
using WaitHook = std::function<bool()>;

// Reads exactly one byte, waiting at most timeoutMs milliseconds.
ReadResult ReadFile(HANDLE port, std::uint8_t& byte, int timeoutMs, const WaitHook& whileWaiting);

// Writes all bytes, giving up after a bounded wait if the device stops taking them.
bool WriteFile(HANDLE port, const void* data, std::size_t size);

void CloseHandle(HANDLE port);

// The file descriptor behind a handle, for diagnostics and tests.
int SerialPortDescriptor(HANDLE port);

// The kernel's error number from the last failed serial call of this thread.
int LastSerialError();
