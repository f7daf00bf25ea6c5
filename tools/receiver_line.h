// Where the virtual receiver's line comes from: a pseudo-terminal of its own
// (with a link for the program to open), an existing serial device (one end
// of a null-modem cable, or the pty of an emulator's character device), or a
// unix socket it listens on (the host end of an emulator's character device).
// How the receiver plays the protocol over the line is not its concern.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

// Who gets a pseudo-terminal, and what happens to a link already there.
struct PtySetup {
    bool replaceLink = false; // replace a link that is there (restored at the end)
    int ownerUid = -1;        // give the device to this user and group with mode 0660
    int ownerGid = -1;        // (-1: it stays the creator's, mode 0600)
};

class ReceiverLine {
public:
    virtual ~ReceiverLine() = default;
    // The descriptor bytes are read from and written to, non-blocking; -1
    // while there is nobody to talk to.
    virtual int Fd() const = 0;
    // Writes what it can of the bytes now, as write() does.
    virtual long Put(const char* bytes, std::size_t size);
    // What the program opens: the pseudo-terminal's device, the device, or
    // the socket's path.
    virtual const std::string& Name() const = 0;
    // Waits until the program's side is there: the port opened (a
    // pseudo-terminal shows it), a connection accepted (a socket), or at
    // once (a device, which cannot tell).
    virtual bool WaitForPeer(int timeoutMs) = 0;
    // Waits until the program has closed the port. A line that cannot see a
    // close waits until what was sent has left.
    virtual bool WaitForClose(int timeoutMs) = 0;
    // Throws away what an earlier exchange left on the line, before the next
    // one. A line that cannot see the program open its port leaves what is
    // there: the program may have begun the next exchange already.
    virtual void Drain() {}
    // Ends the line: the program sees a hang-up (a pseudo-terminal) or
    // silence (a device, or a socket whose far end stays).
    virtual void HangUp() = 0;
    // Removes what the line put in the file system also when the process is
    // ended by SIGINT, SIGTERM or SIGHUP.
    virtual void CleanUpOnSignals() {}
};

// A new pseudo-terminal; if linkPath is not empty, a symbolic link to its
// device there. A link already there is replaced only when the setup says
// so, and restored when the line goes.
std::unique_ptr<ReceiverLine> OpenPtyLine(const std::string& linkPath, const PtySetup& setup,
                                          std::string& error);

// An existing serial device, opened for this program alone and set to raw
// 8N1 at the given rate, with no flow control.
std::unique_ptr<ReceiverLine> OpenDeviceLine(const std::string& path, int baud, std::string& error);

// A unix socket at path, listened on; one connection at a time is the line.
// The socket file is removed when the line goes.
std::unique_ptr<ReceiverLine> ListenSocketLine(const std::string& path, std::string& error);

// Whole milliseconds from now until the deadline; 0 once it has passed.
int MillisecondsLeft(std::chrono::steady_clock::time_point deadline);
