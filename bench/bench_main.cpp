// Measures what the program itself costs per clone record and per listing
// refresh: full transfers over an unpaced pseudo-terminal with the real dialog
// on the offscreen platform. With --paced, a full download and upload through
// the window's own handlers against a receiver that keeps to 9600 baud, on the
// display the environment names: wall time against the line time, and the
// program's CPU time.
#include "BackupDlg.h"
#include "link/timeouts.h"
#include "offscreen_app.h"
#include "resources.h"
#include "virtual_receiver.h"

#include <QApplication>
#include <QCoreApplication>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// A device folder of its own with a virtual receiver behind "COM1", and the
// image it sends: what both kinds of measurement start from.
struct Bench {
    std::string folder;
    std::unique_ptr<VirtualReceiver> receiver;
    std::vector<std::uint8_t> image;

    bool Start(const ReceiverSetup& setup) {
        folder = (std::filesystem::temp_directory_path() / "bc245xlt-bench-XXXXXX").string();
        if (::mkdtemp(folder.data()) == nullptr) {
            return false;
        }
        SerialFolders folders;
        folders.devices = folder;
        folders.locks = folder;
        SetSerialFolders(folders);
        std::string error;
        receiver = VirtualReceiver::Create(folder + "/COM1", error, setup);
        if (!receiver) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
        image.resize(8192);
        for (std::size_t i = 0; i < image.size(); ++i) {
            image[i] = static_cast<std::uint8_t>(i * 13 + 1);
        }
        return true;
    }
    ~Bench() {
        receiver.reset();
        if (!folder.empty()) {
            std::filesystem::remove_all(folder);
        }
    }
};

// Every prompt answered with OK, as a user who wants the transfer would.
class AnswerOk : public CUserPrompts {
public:
    int MessageBox(CWnd*, const CString&, const CString&, UINT, const CString&) override {
        return IDOK;
    }
    bool ChooseFile(CWnd*, bool, const CString&, DWORD, CString&) override { return false; }
};

constexpr int kBaud = 9600;
// Both directions of a full transfer: 512 records of 47 bytes, the model
// query and reply, an acknowledgement per record and the end line.
constexpr int kLineBytes = 4 + 512 * 47 + 4 + 10 + 512 * 3;

int Paced(int argc, char** argv) {
    QApplication toolkit(argc, argv);
    CWinApp app("bc245xlt");
    AfxSetResourceTable(&BackupResources());
    AnswerOk prompts;
    AfxSetUserPrompts(&prompts);
    ReceiverSetup setup;
    setup.baud = kBaud;
    Bench bench;
    if (!bench.Start(setup)) {
        return 1;
    }
    auto& receiver = bench.receiver;
    const auto& image = bench.image;
    CBackupDlg dlg;
    app.m_pMainWnd = &dlg;
    dlg.Create();
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
    }
    ReceiverFaults faults;
    faults.startDelayMs = 0;
    const double lineSeconds = static_cast<double>(kLineBytes) * 10 / kBaud;
    const auto measure = [&](const char* name, auto handler, auto receiverSide) {
        auto peer = std::async(std::launch::async, receiverSide);
        const double cpuStart = ThreadCpuMicroseconds();
        const auto start = Clock::now();
        handler();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = (ThreadCpuMicroseconds() - cpuStart) / 1e6;
        const bool ok = peer.get();
        receiver->WaitForClose(2000);
        CString status;
        dlg.GetDlgItem(IDC_STATUS)->GetWindowText(status);
        std::printf("%s: %.3f s wall for %.3f s of line time = %.4f x; program CPU %.0f ms (%s)\n",
                    name, wall, lineSeconds, wall / lineSeconds, cpu * 1000, status.c_str());
        return ok;
    };
    const bool downloaded = measure(
        "paced download", [&] { dlg.OnGetData(); },
        [&] { return receiver->RunFirst(image, faults, 60000); });
    dlg.GetDlgItem(IDC_SEND)->EnableWindow(TRUE);
    const bool uploaded = measure(
        "paced upload  ", [&] { dlg.OnSendData(); },
        [&] { return receiver->RunClone(faults, 60000); });
    AfxSetUserPrompts(nullptr);
    app.m_pMainWnd = nullptr;
    return downloaded && uploaded ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--paced") == 0) {
        return Paced(argc, argv);
    }
    OffscreenApp offscreen(argc, argv);

    Bench bench;
    if (!bench.Start({})) {
        return 1;
    }
    auto& receiver = bench.receiver;
    const auto& image = bench.image;
    CBackupDlg dlg;
    AfxGetApp()->m_pMainWnd = &dlg;
    dlg.Create();
    QCoreApplication::processEvents();

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
    // The same transfers with the window hidden, where nothing is painted: the
    // difference is what painting the status and the progress costs.
    std::vector<double> hiddenDownload, hiddenUpload, hiddenDownloadCpu, hiddenUploadCpu;
    dlg.Widget()->hide();
    for (int run = 0; run < kRuns; ++run) {
        if (!timed([&] { return dlg.Download(); },
                   [&] { return receiver->RunFirst(image, faults, 5000); }, hiddenDownloadCpu,
                   hiddenDownload) ||
            !timed([&] { return dlg.Upload(); }, [&] { return receiver->RunClone(faults, 5000); },
                   hiddenUploadCpu, hiddenUpload)) {
            std::fprintf(stderr, "transfer with the window hidden failed\n");
            return 1;
        }
    }
    dlg.Widget()->show();
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
    std::printf("painting: %.1f us per record downloading, %.1f us uploading (program CPU time "
                "with the window shown less with it hidden, medians of %d)\n",
                Median(downloadCpu) - Median(hiddenDownloadCpu),
                Median(uploadCpu) - Median(hiddenUploadCpu), kRuns);
    std::printf("listing:  %.0f us per refresh of 512 rows (median of 50)\n", Median(refresh));
    return 0;
}
