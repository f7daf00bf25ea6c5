// In-memory stand-ins for the link's own tests, with no toolkit, no terminal
// and no thread: a serial device whose receiver side is scripted, and a
// report that records what the link reported.
#pragma once

#include "link/ScannerLink.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What outlives the device, which the link deletes when it closes the port.
struct FakeWire {
    bool closed = false;
    std::string written;
    int writes = 0;
};

class FakePort : public SerialDevice {
public:
    // What the receiver does once the scripted bytes are used up.
    enum class Then {
        Silence, // sends nothing more
        Fail,    // the device is gone
        Flood,   // sends floodByte without end, faster than it is read
        Drip,    // sends a zero byte every dripMs
    };

    explicit FakePort(std::shared_ptr<FakeWire> wire) : m_wire(std::move(wire)) {}
    ~FakePort() override { m_wire->closed = true; }

    bool GetState(DCB&) override { return true; }
    bool SetState(const DCB&) override { return true; }
    ReadResult Read(std::uint8_t& byte, int timeoutMs) override;
    bool Write(const void* data, std::size_t size) override;

    std::string input;          // what the receiver sends, in order
    int firstByteAfterMs = 0;   // nothing arrives before this
    Then then = Then::Silence;  // after input
    char floodByte = 'A';       // for Then::Flood
    int dripMs = 5;             // for Then::Drip
    int failWrite = -1;         // the write with this number (from 0) fails
    std::size_t shortWrite = 0; // with failWrite: bytes that get out before it fails
    // Answers each write as a receiver would; what it returns is sent next.
    std::function<std::string(const std::string& text)> respond;

private:
    using Clock = std::chrono::steady_clock;
    std::shared_ptr<FakeWire> m_wire;
    std::size_t m_next = 0;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_lastDrip = Clock::now();
};

class RecordingReport : public LinkReport {
public:
    CString PortName() override { return port; }
    void ShowStatus(const CString& text) override { statuses.push_back(text); }
    void StepProgress() override { ++steps; }
    void ShowNow() override { statusesWhenShown = statuses.size(); }
    bool KeepWaiting() override;
    void DownloadComplete() override { ++completed; }
    void TransferFailed(TransferFailure why) override { failures.push_back(why); }

    CString port = "COM1";
    std::vector<TransferFailure> failures;
    std::vector<CString> statuses;
    int steps = 0;
    std::size_t statusesWhenShown = 0; // how many statuses the last ShowNow saw
    int completed = 0;
    int cancelAfter = -1; // KeepWaiting answers false from this call on
    std::vector<std::chrono::steady_clock::time_point> waits;
};
