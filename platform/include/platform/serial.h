// Serial communications, shaped like the handful of Windows calls the utility
// was designed around: open a port by name, read and apply line settings,
// read one byte, write bytes, close. Each system has its own backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class SerialDevice;

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
// applies them. Fields the system has no counterpart for are carried but have
// no effect.
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

// Where the serial layer looks: the device folder in which port names are
// looked up, the kernel's description of its devices, and the folder of the
// lock files by which every program that follows the serial-port convention
// shares a port, and the kernel's list of processes, which shows who has a
// device open. Tests point them at folders of their own.
struct SerialFolders {
    std::string devices = "/dev";
    std::string sysfs = "/sys";
    std::string locks = "/run/lock";
    std::string proc = "/proc";
};
void SetSerialFolders(const SerialFolders& folders);
const SerialFolders& GetSerialFolders();

// The device paths a port name may stand for, in the order they are tried:
// "COMn" is <devices>/COMn (a link a user or a udev rule can make), then
// ttyUSB<n-1> (a USB adapter), ttyACM<n-1> (a CDC-ACM cable), ttyS<n-1> (a
// built-in port). Any other name gives none.
std::vector<std::string> PortNameCandidates(const std::string& portName, const std::string& folder);

// The path with every symbolic link on it followed, or the path itself when
// it leads nowhere.
std::string RealPath(const std::string& path);

// What the kernel says of a device path.
enum class DeviceKind {
    Missing, // nothing there, or a link that leads nowhere
    Port,    // a device that may serve as a port
    NoUart,  // a built-in port's device with no UART behind it
    Console, // the kernel's console: never opened and reconfigured
};
DeviceKind ExamineDevice(const std::string& path, const SerialFolders& folders);

// The first candidate that exists and has a UART behind it, or an empty
// string. A name that holds a "/" is a device path and stands for itself.
std::string ResolvePortName(const std::string& portName, const SerialFolders& folders);

// The name of the lock file for a device path: "LCK.." and the device's name
// below /dev, with "/" turned into "_" ("LCK..ttyUSB0", "LCK..pts_3").
std::string PortLockName(const std::string& devicePath);

enum class ReadResult {
    Ok,       // one byte was read
    TimedOut, // nothing arrived within the time allowed
    Failed,   // the read failed or the device is gone
};

// What a handle stands for: the terminal device below, or an in-memory stand-in.
class SerialDevice {
public:
    virtual ~SerialDevice() = default;
    virtual bool GetState(DCB& dcb) = 0;
    virtual bool SetState(const DCB& dcb) = 0;
    // Reads exactly one byte, waiting at most timeoutMs milliseconds.
    virtual ReadResult Read(std::uint8_t& byte, int timeoutMs) = 0;
    // Writes every byte, or fails.
    virtual bool Write(const void* data, std::size_t size) = 0;
    // The system's handle behind it (a file descriptor, a Windows handle), or -1.
    virtual std::intptr_t NativeHandle() const { return -1; }
};

// Opens the port for reading and writing, for this process alone. The port's
// lock (a lock file on Linux, a named mutex on Windows) is taken first, before
// the device is opened, because every open raises DTR and RTS: an opener that
// is refused never reaches the driver. A device that another process has
// open, lock or not, is busy too, where that process can be seen: its bytes
// would go to whichever reader comes first. INVALID_HANDLE_VALUE when the port
// does not exist or cannot be had;
// LastSerialError() then tells why (EBUSY also for the system console, ENODEV
// for a device with no UART behind it) and LastSerialLockHolder() who holds a
// busy port.
HANDLE OpenSerialPort(const std::string& portName);

bool GetCommState(HANDLE port, DCB& dcb);
bool SetCommState(HANDLE port, const DCB& dcb);

// Reads exactly one byte, waiting at most timeoutMs milliseconds.
ReadResult ReadFile(HANDLE port, std::uint8_t& byte, int timeoutMs);

// Writes all bytes; fails when the device reports an error or stops taking
// bytes for two seconds.
bool WriteFile(HANDLE port, const void* data, std::size_t size);

void CloseHandle(HANDLE port);

// The system's handle behind a port (a file descriptor, a Windows handle), or
// -1, for diagnostics and tests.
std::intptr_t SerialPortDescriptor(HANDLE port);

// Records why a serial call failed, for LastSerialError(); false, so that a
// failing call can return it.
bool SetLastSerialError(int error);

// The error number (errno's values, on every system) from the last failed
// serial call of this thread.
int LastSerialError();

// Records the process that kept the last open of this thread out (0: none
// known), for LastSerialLockHolder().
void SetLastSerialLockHolder(int pid);

// How many processes the last open of this thread could not look at for
// other holders of the port (another user's, hidden from this one).
int LastSerialHiddenProcesses();
void SetLastSerialHiddenProcesses(int count);

// The process id of the live process whose lock or open descriptor kept the
// last open of this thread out, or 0 when no such process is known.
int LastSerialLockHolder();
