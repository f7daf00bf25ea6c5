// The Windows calls the backend makes, behind plain types. Only the files
// named system_*.cpp include the system's headers; the adapters beside them
// include this and the platform's own headers, whose stand-in names would
// clash with the system's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace win {

// A system handle; kNoHandle when there is none.
using Handle = void*;
inline Handle const kNoHandle = reinterpret_cast<Handle>(~std::uintptr_t{0});

// The error number (errno's values) that stands for a system error code.
int ErrnoOf(unsigned long systemError);
// The calling thread's last system error code.
unsigned long LastError();
int ProcessId();

// UTF-8 and the system's UTF-16, as strings of the same content.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// ---------------------------------------------------------------------------
// Serial ports

struct LineSettings {
    std::uint32_t baudRate = 0;
    std::uint8_t byteSize = 8;
    std::uint8_t parity = 0;   // 0 none, 1 odd, 2 even
    std::uint8_t stopBits = 0; // 0 one, 2 two
    bool parityCheck = false;
    bool ctsFlow = false;
    bool dtr = false;
    bool rts = false;
    bool outX = false;
    bool inX = false;
    char xonChar = 0x11;
    char xoffChar = 0x13;
    char eofChar = 0;
};

// The port "\\.\COMn" (or a device path), for this process alone; kNoHandle
// with the system's error code in error.
Handle OpenComm(const std::string& device, unsigned long& error);
bool GetLine(Handle port, LineSettings& line, unsigned long& error);
// Applies the settings on a binary line that does not stop on errors. The
// modem lines are set as asked where the driver can; a driver that cannot
// (a virtual port) is not an error.
bool SetLine(Handle port, const LineSettings& line, unsigned long& error);

enum class CommRead { Byte, Nothing, Failed };
// Reads one byte, returning as soon as it comes, or Nothing after timeoutMs;
// Failed when the line is gone (an unplugged adapter, a hung-up peer).
CommRead ReadCommByte(Handle port, std::uint8_t& byte, unsigned timeoutMs, unsigned long& error);
// Writes every byte, or fails; a write that stalls for stallMs fails.
bool WriteComm(Handle port, const void* data, std::size_t size, unsigned stallMs,
               unsigned long& error);
void CloseComm(Handle port);

// A named mutex of this program's for a port; kNoHandle with error
// ERROR_ALREADY_EXISTS's errno (EBUSY) when another process has it.
Handle TakePortMutex(const std::string& name, int& error);
void ReleasePortMutex(Handle mutex);
// Whether another process holds the port's mutex now.
bool PortMutexHeld(const std::string& name);

// Whether the system knows a device of that name ("COM3").
bool DosDeviceExists(const std::string& name);

// ---------------------------------------------------------------------------
// The serial ports the system lists

// What the registry and the device installer say of one port.
struct PortRecord {
    std::string portName;                 // "COM3"
    std::string friendlyName;             // "Prolific USB-to-Serial Comm Port (COM3)"
    std::vector<std::string> hardwareIds; // "USB\VID_067B&PID_2303&REV_0300", ...
    std::string manufacturer;
    std::string service;       // the driver's service: "Ser2pl", "FTSER2K", "usbser", "Serial"
    unsigned long problem = 0; // the device's problem code, 0 when none
    long latencyTimer = -1;    // an FTDI driver's LatencyTimer parameter, or -1
};

// The COM names of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
std::vector<std::string> SerialCommNames();
// Every present device of the ports class that has a port name.
std::vector<PortRecord> PortRecords();
// Whether a port can be opened now: 0, or the system's error code of the open.
unsigned long ProbePort(const std::string& portName);

// ---------------------------------------------------------------------------
// Files

enum class FileKind { Missing, File, Folder, Device };
// What a UTF-8 path names; error receives the errno value when it is missing.
FileKind KindOf(const std::string& path, std::int64_t* size, int* error);
bool IsReadOnly(const std::string& path);

// A file opened for reading, shared with readers only; kNoHandle with error.
Handle OpenForReading(const std::string& path, int& error);
// A new file; kNoHandle with error (EEXIST when it is there).
Handle CreateNew(const std::string& path, int& error);
// The target, held open while it is replaced: others may read it, not write it.
Handle OpenForLock(const std::string& path, int& error);
// Reads up to size bytes: the count, or -1 with error.
long ReadSome(Handle file, void* buffer, unsigned size, int& error);
bool WriteAll(Handle file, const void* buffer, unsigned size, int& error);
bool FlushToDisk(Handle file, int& error);
void CloseFile(Handle file);
// Renames from over to, replacing it, written through.
bool ReplaceWith(const std::string& from, const std::string& to, int& error);
bool DeleteNamed(const std::string& path);
// The names in a folder that start with prefix, with their age in seconds.
std::vector<std::pair<std::string, std::int64_t>> NamesWithAge(const std::string& folder,
                                                               const std::string& prefix);
// Whether this user may make files in the folder: 0, or the errno value.
int FolderWriteError(const std::string& folder);
// A new empty file in the temporary folder: its path, or "" with error.
std::string TemporaryFile(int& error);
// A random number, for names no other process guesses.
std::uint32_t RandomNumber();

// ---------------------------------------------------------------------------
// The console

// Standard input and output carry bytes as they are, and the console shows
// UTF-8 and the terminal's control sequences.
void PrepareConsole();
// Whether the stream of that descriptor (0, 1, 2) is a console.
bool IsConsole(int descriptor);
// The console's width in columns, or 0.
int ConsoleColumns(int descriptor);
// Calls onStop(2) on Ctrl-C or Ctrl-Break, and when the console window is
// closed or the session ends; after the latter, the handler waits for the
// program to end by itself, which the system allows for a few seconds.
void CatchConsoleStops(void (*onStop)(int));
// The command line as UTF-8 arguments.
std::vector<std::string> Arguments();
// fopen for a UTF-8 path.
std::FILE* OpenStream(const std::string& path, const char* mode);
std::tm LocalTime();

} // namespace win
