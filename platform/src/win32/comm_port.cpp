// A COM port as a serial port on Windows: the line settings through the DCB,
// reads of one byte that return as soon as it comes, and exclusive use
// through a named mutex per port, taken before the port is opened, and the
// system's own refusal of a second opener.
#include "platform/serial.h"

#include "system.h"

#include <cerrno>

namespace {

class ComDevice : public SerialDevice {
public:
    ComDevice(win::Handle port, win::Handle mutex) : m_port(port), m_mutex(mutex) {}
    ~ComDevice() override;
    bool GetState(DCB& dcb) override;
    bool SetState(const DCB& dcb) override;
    ReadResult Read(std::uint8_t& byte, int timeoutMs) override;
    bool Write(const void* data, std::size_t size) override;
    std::intptr_t NativeHandle() const override { return reinterpret_cast<std::intptr_t>(m_port); }

private:
    win::Handle m_port;
    win::Handle m_mutex; // released after the port is closed
};

bool Fail(unsigned long systemError) {
    return SetLastSerialError(win::ErrnoOf(systemError));
}

} // namespace

HANDLE OpenSerialPort(const std::string& portName) {
    SetLastSerialLockHolder(0);
    SetLastSerialHiddenProcesses(0);
    const SerialFolders& folders = GetSerialFolders();
    const std::string path = ResolvePortName(portName, folders);
    if (path.empty() || ExamineDevice(path, folders) == DeviceKind::Missing) {
        SetLastSerialError(ENOENT);
        return INVALID_HANDLE_VALUE;
    }
    int mutexError = 0;
    const win::Handle mutex = win::TakePortMutex(PortLockName(path), mutexError);
    if (mutex == win::kNoHandle) {
        SetLastSerialError(mutexError);
        return INVALID_HANDLE_VALUE;
    }
    unsigned long error = 0;
    const win::Handle port = win::OpenComm(path, error);
    if (port == win::kNoHandle) {
        win::ReleasePortMutex(mutex);
        // A COM port that another program has open is refused as access
        // denied: the system lets one program have a port at a time.
        const int cause = win::ErrnoOf(error);
        SetLastSerialError(cause == EACCES ? EBUSY : cause == EIO ? ENOTTY : cause);
        return INVALID_HANDLE_VALUE;
    }
    return new ComDevice(port, mutex);
}

ComDevice::~ComDevice() {
    win::CloseComm(m_port);
    win::ReleasePortMutex(m_mutex);
}

bool ComDevice::GetState(DCB& dcb) {
    win::LineSettings line;
    unsigned long error = 0;
    if (!win::GetLine(m_port, line, error)) {
        return Fail(error);
    }
    dcb = DCB{};
    dcb.BaudRate = line.baudRate;
    dcb.ByteSize = line.byteSize;
    dcb.Parity = line.parity;
    dcb.StopBits = line.stopBits;
    dcb.fParity = line.parityCheck ? 1 : 0;
    dcb.fOutxCtsFlow = line.ctsFlow ? 1 : 0;
    dcb.fDtrControl = line.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = line.ctsFlow ? RTS_CONTROL_HANDSHAKE
                      : line.rts   ? RTS_CONTROL_ENABLE
                                   : RTS_CONTROL_DISABLE;
    dcb.fOutX = line.outX ? 1 : 0;
    dcb.fInX = line.inX ? 1 : 0;
    dcb.XonChar = line.xonChar;
    dcb.XoffChar = line.xoffChar;
    dcb.EofChar = line.eofChar;
    return true;
}

bool ComDevice::SetState(const DCB& dcb) {
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.BaudRate == 0) {
        return SetLastSerialError(EINVAL);
    }
    win::LineSettings line;
    line.baudRate = dcb.BaudRate;
    line.byteSize = dcb.ByteSize;
    line.parity = dcb.Parity;
    line.stopBits = dcb.StopBits;
    line.parityCheck = dcb.fParity != 0;
    line.ctsFlow = dcb.fOutxCtsFlow != 0;
    line.dtr = dcb.fDtrControl != DTR_CONTROL_DISABLE;
    line.rts = dcb.fRtsControl == RTS_CONTROL_ENABLE;
    line.outX = dcb.fOutX != 0;
    line.inX = dcb.fInX != 0;
    line.xonChar = dcb.XonChar;
    line.xoffChar = dcb.XoffChar;
    line.eofChar = dcb.EofChar;
    unsigned long error = 0;
    return win::SetLine(m_port, line, error) ? true : Fail(error);
}

ReadResult ComDevice::Read(std::uint8_t& byte, int timeoutMs) {
    unsigned long error = 0;
    switch (win::ReadCommByte(m_port, byte, static_cast<unsigned>(timeoutMs > 0 ? timeoutMs : 0),
                              error)) {
    case win::CommRead::Byte:
        return ReadResult::Ok;
    case win::CommRead::Nothing:
        SetLastSerialError(ETIMEDOUT);
        return ReadResult::TimedOut;
    case win::CommRead::Failed:
        break;
    }
    Fail(error);
    return ReadResult::Failed;
}

bool ComDevice::Write(const void* data, std::size_t size) {
    constexpr unsigned kStallMs = 2000;
    unsigned long error = 0;
    return win::WriteComm(m_port, data, size, kStallMs, error) ? true : Fail(error);
}
