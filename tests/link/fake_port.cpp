#include "fake_port.h"

#include <cerrno>
#include <thread>

ReadResult FakePort::Read(std::uint8_t& byte, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto firstByte = m_start + std::chrono::milliseconds(firstByteAfterMs);
    if (Clock::now() < firstByte) {
        std::this_thread::sleep_until(std::min(deadline, firstByte));
        if (Clock::now() < firstByte) {
            return ReadResult::TimedOut;
        }
    }
    if (m_next < input.size()) {
        byte = static_cast<std::uint8_t>(input[m_next++]);
        return ReadResult::Ok;
    }
    switch (then) {
    case Then::Silence:
        std::this_thread::sleep_until(deadline);
        return ReadResult::TimedOut;
    case Then::Fail:
        SetLastSerialError(EIO);
        return ReadResult::Failed;
    case Then::Flood:
        byte = static_cast<std::uint8_t>(floodByte);
        return ReadResult::Ok;
    case Then::Drip: {
        const auto drop = m_lastDrip + std::chrono::milliseconds(dripMs);
        std::this_thread::sleep_until(std::min(deadline, drop));
        if (Clock::now() < drop) {
            return ReadResult::TimedOut;
        }
        m_lastDrip = Clock::now();
        byte = 0;
        return ReadResult::Ok;
    }
    }
    return ReadResult::Failed;
}

bool FakePort::Write(const void* data, std::size_t size) {
    const std::string text(static_cast<const char*>(data), size);
    if (m_wire->writes++ == failWrite) {
        m_wire->written += text.substr(0, shortWrite);
        SetLastSerialError(EIO);
        return false;
    }
    m_wire->written += text;
    if (respond) {
        input += respond(text);
    }
    return true;
}

bool RecordingReport::KeepWaiting() {
    waits.push_back(std::chrono::steady_clock::now());
    return cancelAfter < 0 || static_cast<int>(waits.size()) < cancelAfter;
}
