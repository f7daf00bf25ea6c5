// A BC245XLT on a line: it plays the receiver's side of the clone protocol,
// in FIRST mode (it sends its memory) or CLONE mode (it takes a memory
// image), and can misbehave on demand. The line is a pseudo-terminal of its
// own, a serial device or a socket.
#pragma once

#include "receiver_line.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ReceiverFaults {
    bool silentAtStart = false; // FIRST: never send "MDL"; CLONE: never answer "MDL"
    int silentAt = -1; // FIRST: go quiet after this many records; CLONE: do not answer record n
    bool crlf = false; // end lines with CR LF instead of CR
    int badChecksumAt = -1;    // FIRST: record n carries a wrong checksum
    int shortLineAt = -1;      // FIRST: record n is cut short
    int longLineAt = -1;       // FIRST: record n has 300 characters
    bool lowerCaseHex = false; // FIRST: data digits in lower case
    int extraRecords = 0;      // FIRST: records sent beyond the image, past 512 if it is full
    int hangUpAt = -1;         // FIRST: hang up before record n; CLONE: after receiving record n
    int ngAt = -1;             // CLONE: answer "NG" to record n
    int corruptAt = -1;        // CLONE: keep record n with its first byte inverted
    std::string modelReply = "BC245XLT0"; // CLONE: the answer to "MDL"
    int startDelayMs = 100;               // FIRST: pause between the port being opened and "MDL"
    int paceMs = 0;                       // pause before each record (FIRST) or reply (CLONE)
};

// The pseudo-terminal's setup, and the pace of the line.
struct ReceiverSetup : PtySetup {
    int baud = 0; // pace every byte as a line at this rate would; 0: no pacing
};

class VirtualReceiver {
public:
    // Opens a pseudo-terminal and, if linkPath is not empty, makes a symbolic
    // link to its device there. A link already there is replaced only when
    // the setup says so, and restored when the receiver goes.
    static std::unique_ptr<VirtualReceiver> Create(const std::string& linkPath, std::string& error,
                                                   const ReceiverSetup& setup = {});
    // A receiver on a line made elsewhere, paced at baud (0: not paced).
    VirtualReceiver(std::unique_ptr<ReceiverLine> line, int baud)
        : m_line(std::move(line)), m_baud(baud) {}

    // Removes the link (restoring what it replaced) or the socket also when
    // the process is ended by SIGINT, SIGTERM or SIGHUP.
    void CleanUpOnSignals() { m_line->CleanUpOnSignals(); }

    const std::string& DevicePath() const { return m_line->Name(); }

    // FIRST mode: sends the image (a multiple of 16 bytes) as clone records.
    // Returns true when the exchange ran to "END" as the faults allowed.
    bool RunFirst(const std::vector<std::uint8_t>& image, const ReceiverFaults& faults,
                  int timeoutMs);

    // CLONE mode: receives records until "END" and keeps their data.
    bool RunClone(const ReceiverFaults& faults, int timeoutMs);

    // Every byte the computer sent during the last run, as it came.
    const std::string& Wire() const { return m_wire; }
    // The data of the records received in CLONE mode, in order.
    const std::vector<std::uint8_t>& Received() const { return m_received; }
    // What went wrong in the last run, for messages.
    const std::string& Problem() const { return m_problem; }
    // How far behind its clock the latest paced byte of the last run left,
    // and how many bytes were paced: what a measurement against the line
    // time must know of the receiver's own lateness.
    std::chrono::steady_clock::duration PacingLateness() const { return m_lateness; }
    std::size_t PacedBytes() const { return m_pacedBytes; }

    // Raw access for scripted exchanges: bytes as they are, and whatever has
    // arrived within the time given.
    bool SendRaw(const std::string& bytes);
    std::string ReadAvailable(int timeoutMs);

    // Waits until the program has closed the port again.
    bool WaitForClose(int timeoutMs);

    // Waits until the program is there to talk to (see ReceiverLine).
    bool WaitForClient(int timeoutMs);

    // Ends the line: a pseudo-terminal's device is gone for whoever has it
    // open; a device or a socket goes silent.
    void HangUp() { m_line->HangUp(); }

private:
    bool Send(const std::string& line, bool crlf);
    bool SendBytes(const std::string& bytes);
    bool ReadLine(std::string& line, int timeoutMs);
    bool Fail(const std::string& problem);
    enum class Input { Bytes, Nothing, Closed, Failed };
    // Takes what the program has sent into the pending bytes and the wire
    // log, waiting up to waitMs when nothing has come yet.
    Input TakeInput(int waitMs);
    // The faults that end the exchange at record n, and the pause before it.
    bool BeforeRecord(int n, const ReceiverFaults& faults);

    // Throws away what this side sent that the program has not read, and what
    // is left over from an earlier exchange.
    void Drain();
    // Waits until a byte sent now would have left at the line rate.
    void PaceByte();

    std::unique_ptr<ReceiverLine> m_line;
    int m_baud = 0;
    std::chrono::steady_clock::time_point m_sendClock{};
    std::chrono::steady_clock::duration m_lateness{};
    std::size_t m_pacedBytes = 0;
    // When each pending byte arrives at the line rate.
    std::vector<std::chrono::steady_clock::time_point> m_arrivals;
    std::chrono::steady_clock::time_point m_lastArrival{};
    std::string m_wire;
    std::string m_pending;
    std::vector<std::uint8_t> m_received;
    std::string m_problem;
};
