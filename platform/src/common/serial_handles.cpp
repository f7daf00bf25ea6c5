// What every system's serial backend shares: the calls made on a handle, the
// folders the layer looks in, and why the last call of this thread failed.
#include "platform/serial.h"

#include <cerrno>

namespace {

SerialFolders& Folders() {
    static SerialFolders folders;
    return folders;
}

thread_local int lastError = 0;
thread_local int lastHolder = 0;
thread_local int lastHidden = 0;

bool IsHandle(HANDLE port) {
    return port != nullptr && port != INVALID_HANDLE_VALUE;
}

} // namespace

void SetSerialFolders(const SerialFolders& folders) {
    Folders() = folders;
}

const SerialFolders& GetSerialFolders() {
    return Folders();
}

bool GetCommState(HANDLE port, DCB& dcb) {
    return IsHandle(port) ? port->GetState(dcb) : SetLastSerialError(EBADF);
}

bool SetCommState(HANDLE port, const DCB& dcb) {
    return IsHandle(port) ? port->SetState(dcb) : SetLastSerialError(EBADF);
}

ReadResult ReadFile(HANDLE port, std::uint8_t& byte, int timeoutMs) {
    if (!IsHandle(port)) {
        SetLastSerialError(EBADF);
        return ReadResult::Failed;
    }
    return port->Read(byte, timeoutMs);
}

bool WriteFile(HANDLE port, const void* data, std::size_t size) {
    return IsHandle(port) ? port->Write(data, size) : SetLastSerialError(EBADF);
}

void CloseHandle(HANDLE port) {
    if (IsHandle(port)) {
        delete port;
    }
}

std::intptr_t SerialPortDescriptor(HANDLE port) {
    return IsHandle(port) ? port->NativeHandle() : -1;
}

// Every failure leaves through here, so the reason survives for the caller.
bool SetLastSerialError(int error) {
    lastError = error;
    return false;
}

int LastSerialError() {
    return lastError;
}

void SetLastSerialLockHolder(int pid) {
    lastHolder = pid;
}

int LastSerialLockHolder() {
    return lastHolder;
}

void SetLastSerialHiddenProcesses(int count) {
    lastHidden = count;
}

int LastSerialHiddenProcesses() {
    return lastHidden;
}
