#include "link_stream_target.h"

#include "link/ScannerLink.h"
#include "link/record.h"
#include "link/timeouts.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint8_t kOldByte = 0xC3;
constexpr std::int32_t kOldLength = 0x70;

class StreamReport : public LinkReport {
public:
    explicit StreamReport(std::string port) : m_port(std::move(port)) {}
    CString PortName() override { return m_port; }
    void ShowStatus(const CString& text) override { status = text; }
    void StepProgress() override { ++steps; }
    bool KeepWaiting() override { return true; }
    void DownloadComplete() override { ++completed; }

    CString status;
    int steps = 0;
    int completed = 0;

private:
    std::string m_port;
};

// A pseudo-terminal kept for the whole process: its far end is the receiver.
struct Terminal {
    int master = -1;
    std::string device;

    Terminal() {
        // The streams are what is tested, not the search for other holders
        // of the port: it looks through an empty process list, so that each
        // open costs nothing of the fuzzer's time.
        static char noProcesses[] = "/tmp/bc245xlt-fuzz-proc-XXXXXX";
        SerialFolders folders = GetSerialFolders();
        if (::mkdtemp(noProcesses) != nullptr) {
            folders.proc = noProcesses;
            SetSerialFolders(folders);
            std::atexit([] { ::rmdir(noProcesses); });
        }
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(master);
        ::unlockpt(master);
        char name[128] = {};
        ::ptsname_r(master, name, sizeof name);
        device = name;
        const int slave = ::open(name, O_RDWR | O_NOCTTY);
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::close(slave);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
    }

    void Flush() const {
        ::tcflush(master, TCIOFLUSH);
        char discard[512];
        while (::read(master, discard, sizeof discard) > 0) {
        }
    }

    bool Put(std::string_view bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t put = ::write(master, bytes.data() + done, bytes.size() - done);
            if (put <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(put);
        }
        return true;
    }

    std::string Take() const {
        std::string got;
        char buffer[512];
        for (;;) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) {
                return got;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
    }
};

// What the receiver's stream must lead to, worked out from the protocol's
// rules on the whole stream at once: the lines it holds (a line ends at any
// byte below 0x20; bytes after the last such byte never make a line).
struct Expected {
    int result = 0;
    CString status;
    int records = 0;
    std::string sent;
    std::vector<unsigned char> image;
};

class Lines {
public:
    explicit Lines(std::string_view stream) {
        std::string line;
        for (const char c : stream) {
            if (static_cast<unsigned char>(c) < 0x20) {
                m_lines.push_back(line);
                line.clear();
            } else {
                line.push_back(c);
            }
        }
    }
    // The next line, empty ones included.
    bool Next(std::string& line) {
        if (m_next == m_lines.size()) {
            return false;
        }
        line = m_lines[m_next++];
        return true;
    }
    // The next line that is not empty.
    bool NextReply(std::string& line) {
        while (Next(line)) {
            if (!line.empty()) {
                return true;
            }
        }
        return false;
    }

private:
    std::vector<std::string> m_lines;
    std::size_t m_next = 0;
};

constexpr char kNoResponse[] = "ERROR: No response from scanner";
constexpr char kBadModel[] = "ERROR: Incorrect response to MDL query";

Expected ExpectDownload(std::string_view stream) {
    Expected expected;
    Lines lines(stream);
    std::string line;
    // Empty lines before the model query (what a CR LF left) are skipped.
    if (!lines.NextReply(line)) {
        expected.status = kNoResponse;
        return expected;
    }
    if (line != "MDL") {
        expected.status = kBadModel;
        return expected;
    }
    expected.sent = "BC245XLT0\r";
    for (;;) {
        if (!lines.NextReply(line)) {
            expected.status = kNoResponse;
            return expected;
        }
        if (line == "END") {
            expected.result = 1;
            expected.status = "Download complete.";
            return expected;
        }
        if (!IsValidRecordLine(line)) {
            expected.status = "ERROR: Invalid data from scanner";
            return expected;
        }
        if (expected.records == kBlockCount) {
            expected.status = "ERROR: Too much data from scanner";
            return expected;
        }
        for (int i = 0; i < kBlockSize; ++i) {
            expected.image.push_back(static_cast<unsigned char>(
                16 * HexDigitValue(line[static_cast<std::size_t>(9 + 2 * i)]) +
                HexDigitValue(line[static_cast<std::size_t>(10 + 2 * i)])));
        }
        expected.sent += "OK\r";
        ++expected.records;
    }
}

Expected ExpectUpload(std::string_view stream, const unsigned char* image, std::int32_t length) {
    Expected expected;
    Lines lines(stream);
    std::string line;
    expected.sent = "MDL\r";
    if (!lines.Next(line)) {
        expected.status = kNoResponse;
        return expected;
    }
    if (line != "BC245XLT0") {
        expected.status = kBadModel;
        return expected;
    }
    for (int offset = 0; offset < length; offset += kBlockSize) {
        expected.sent += FormatRecordLine(offset, image + offset) + "\r";
        if (!lines.NextReply(line)) {
            expected.status = kNoResponse;
            return expected;
        }
        if (line == "NG") {
            expected.status = "ERROR: Data rejected by scanner";
            expected.sent += "END\r";
            return expected;
        }
        ++expected.records;
    }
    expected.sent += "END\r";
    expected.result = 1;
    expected.status = "Upload complete.";
    return expected;
}

std::string Compare(const Expected& expected, int result, const StreamReport& report,
                    const std::string& sent) {
    if (result != expected.result) {
        return "the transfer returned " + std::to_string(result);
    }
    if (report.status != expected.status) {
        return "the status is '" + report.status + "', not '" + expected.status + "'";
    }
    if (report.steps != expected.records) {
        return "the progress stepped " + std::to_string(report.steps) + " times, not " +
               std::to_string(expected.records);
    }
    if (sent != expected.sent) {
        return "the bytes sent back differ from the protocol's";
    }
    return "";
}

std::string RunStream(bool upload, std::int32_t uploadLength, std::string_view stream, int waitMs,
                      bool& inconclusive) {
    static const Terminal terminal;
    LinkTimeouts() = {waitMs, waitMs};
    terminal.Flush();
    StreamReport report(terminal.device);
    CScannerLink link(report);
    if (link.OpenPort() == 0) {
        return "the port did not open";
    }
    // Whatever an earlier run left unread goes; then the whole stream is put
    // on the line and waited for, so that only its end can time out.
    const int port = SerialPortDescriptor(link.m_hPort);
    ::tcflush(port, TCIFLUSH);
    if (!terminal.Put(stream)) {
        return "the stream did not fit the terminal";
    }
    for (int waited = 0; waited < 2000; ++waited) {
        int queued = 0;
        if (::ioctl(port, FIONREAD, &queued) != 0 || queued >= static_cast<int>(stream.size())) {
            break;
        }
        ::usleep(100);
    }
    int result = 0;
    std::string broken;
    if (upload) {
        for (int i = 0; i < kImageSize; ++i) {
            link.m_image[i] = static_cast<unsigned char>(i * 31 + 7);
        }
        link.m_imageLength = uploadLength;
        const std::vector<unsigned char> before(link.m_image, link.m_image + kImageSize);
        const Expected expected = ExpectUpload(stream, link.m_image, uploadLength);
        result = link.Upload();
        broken = Compare(expected, result, report, terminal.Take());
        if (broken.empty() && (link.m_imageLength != uploadLength ||
                               std::memcmp(before.data(), link.m_image, kImageSize) != 0)) {
            broken = "an upload changed the image";
        }
    } else {
        std::memset(link.m_image, kOldByte, sizeof link.m_image);
        link.m_imageLength = kOldLength;
        const Expected expected = ExpectDownload(stream);
        result = link.Download();
        broken = Compare(expected, result, report, terminal.Take());
        // A download replaces the image only when it succeeds, and then only
        // as far as it came.
        const std::int32_t length =
            result == 1 ? static_cast<std::int32_t>(expected.image.size()) : kOldLength;
        if (broken.empty() && link.m_imageLength != length) {
            broken = "the download left the length " + std::to_string(link.m_imageLength);
        }
        for (int i = 0; broken.empty() && i < kImageSize; ++i) {
            const unsigned char want =
                result == 1 && i < length ? expected.image[static_cast<std::size_t>(i)] : kOldByte;
            if (link.m_image[i] != want) {
                broken = "the image differs at " + std::to_string(i);
            }
        }
        if (broken.empty() && report.completed != result) {
            broken = "the window was told of a completed download that was not";
        }
    }
    if (broken.empty() && link.m_hPort != nullptr) {
        broken = "the port was left open";
    }
    HANDLE again = OpenSerialPort(terminal.device);
    if (again == INVALID_HANDLE_VALUE) {
        return broken.empty() ? "the port is not free after the transfer" : broken;
    }
    int unread = 0;
    ::ioctl(SerialPortDescriptor(again), FIONREAD, &unread);
    CloseHandle(again);
    inconclusive = !broken.empty() && report.status == kNoResponse && unread > 0;
    return broken;
}

} // namespace

std::string TransferStreamOnce(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return "";
    }
    const bool upload = (data[0] & 1) != 0;
    std::size_t skip = 1;
    std::int32_t uploadLength = 0;
    if (upload) {
        if (size < 3) {
            return "";
        }
        uploadLength = (data[1] | data[2] << 8) % (kImageSize + 1);
        skip = 3;
    }
    const std::string_view stream(reinterpret_cast<const char*>(data + skip),
                                  std::min(size - skip, kMaxStream));
    // A short wait ends each run soon after its stream; should the machine
    // have held the program longer than that while bytes were still queued,
    // the run proves nothing and is made again with time to spare.
    bool inconclusive = false;
    std::string broken = RunStream(upload, uploadLength, stream, 2, inconclusive);
    if (inconclusive) {
        broken = RunStream(upload, uploadLength, stream, 500, inconclusive);
    }
    return broken;
}
