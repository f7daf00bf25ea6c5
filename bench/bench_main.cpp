// Measures what the program itself costs per clone record and per listing
// refresh: full transfers over an unpaced pseudo-terminal with the real dialog
// on the offscreen platform.
#include "BackupDlg.h"
#include "link/timeouts.h"
#include "offscreen_app.h"
#include "virtual_receiver.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <future>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// CPU time of this thread: what the program itself spends, without the waits
// for the line and without the virtual receiver's work on its own thread.
double ThreadCpuMicroseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

double Microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    OffscreenApp offscreen(argc, argv);

    std::string folder =
        (std::filesystem::temp_directory_path() / "bc245xlt-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        return 1;
    }
    SetSerialDeviceFolder(folder);
    std::string error;
    auto receiver = VirtualReceiver::Create(folder + "/COM1", error);
    if (!receiver) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    CBackupDlg dlg;
    AfxGetApp()->m_pMainWnd = &dlg;
    dlg.Create();
    QCoreApplication::processEvents();

    std::vector<std::uint8_t> image(8192);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 13 + 1);
    }
    ReceiverFaults faults;
    faults.startDelayMs = 0;
    constexpr int kRuns = 7;
    std::vector<double> download, upload, refresh, downloadCpu, uploadCpu;
    // One transfer against the receiver's side running on another thread,
    // timed from the model query on, so the receiver's start-up pause is left
    // out; per record, in program CPU time and elapsed.
    const auto timed = [&](auto transfer, auto receiverSide, std::vector<double>& cpu,
                           std::vector<double>& elapsed) {
        auto peer = std::async(std::launch::async, receiverSide);
        if (dlg.OpenPort() != 1) {
            return false;
        }
        const double cpuStart = ThreadCpuMicroseconds();
        const auto start = Clock::now();
        const int ok = transfer();
        elapsed.push_back(Microseconds(Clock::now() - start) / 512);
        cpu.push_back((ThreadCpuMicroseconds() - cpuStart) / 512);
        const bool peerOk = peer.get();
        receiver->WaitForClose(1000);
        return ok == 1 && peerOk;
    };
    for (int run = 0; run < kRuns; ++run) {
        if (!timed([&] { return dlg.Download(); },
                   [&] { return receiver->RunFirst(image, faults, 5000); }, downloadCpu,
                   download) ||
            dlg.m_imageLength != 8192) {
            std::fprintf(stderr, "download failed\n");
            return 1;
        }
        if (!timed([&] { return dlg.Upload(); }, [&] { return receiver->RunClone(faults, 5000); },
                   uploadCpu, upload) ||
            receiver->Received() != image) {
            std::fprintf(stderr, "upload failed\n");
            return 1;
        }
    }
    for (int run = 0; run < 50; ++run) {
        const auto start = Clock::now();
        dlg.RefreshListing();
        refresh.push_back(Microseconds(Clock::now() - start));
    }
    std::printf("download: %.1f us per record of program CPU time, %.1f us per record elapsed "
                "(median of %d full 512-record downloads)\n",
                Median(downloadCpu), Median(download), kRuns);
    std::printf("upload:   %.1f us per record of program CPU time, %.1f us per record elapsed "
                "(median of %d full 512-record uploads)\n",
                Median(uploadCpu), Median(upload), kRuns);
    std::printf("listing:  %.0f us per refresh of 512 rows (median of 50)\n", Median(refresh));
    receiver.reset();
    std::filesystem::remove_all(folder);
    return 0;
}
