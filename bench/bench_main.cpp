// Measures what the program itself costs per clone record and per listing
// refresh: full transfers over an unpaced pseudo-terminal with the real dialog
// on the offscreen platform. With --paced, a full download and upload through
// the window's own handlers and through bc245xlt-cli, side by side, against a
// virtual receiver in a process of its own that keeps to 9600 baud, on the
// display the environment names: wall time against the line time, and CPU
// time, over several runs with their range.
#include "BackupDlg.h"
#include "link/timeouts.h"
#include "offscreen_app.h"
#include "platform/qt/widgets.h"
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
#include <fstream>
#include <functional>
#include <future>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
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
constexpr double kLineSeconds = static_cast<double>(kLineBytes) * 10 / kBaud;

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// CPU time of this whole process, every thread of the toolkit included.
double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// A program started with its standard output on a pipe.
struct Child {
    pid_t pid = -1;
    std::FILE* out = nullptr;
};

Child Start(const std::vector<std::string>& arguments) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return {};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    return {pid, ::fdopen(pipeFds[0], "r")};
}

// Waits for the child; its CPU time in seconds, or -1 when it failed.
double Finish(Child& child) {
    int status = 0;
    rusage usage{};
    ::wait4(child.pid, &status, 0, &usage);
    if (child.out != nullptr) {
        std::fclose(child.out);
        child.out = nullptr;
    }
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return ok ? Seconds(usage.ru_utime) + Seconds(usage.ru_stime) : -1;
}

std::string ProgramBeside(const char* argv0, const char* relative) {
    return (std::filesystem::path(argv0).parent_path() / relative).lexically_normal().string();
}

// One side of a paced transfer: the receiver in its own process, keeping to
// 9600 baud on its own clock and telling how late it fell behind it.
struct PacedReceiver {
    Child child;
    bool Begin(const std::string& program, const std::vector<std::string>& mode) {
        std::vector<std::string> arguments = {program};
        arguments.insert(arguments.end(), mode.begin(), mode.end());
        child = Start(arguments);
        char line[512];
        // The banner comes once the link is in place.
        return child.out != nullptr && std::fgets(line, sizeof line, child.out) != nullptr;
    }
    // The lateness the receiver reported, in seconds, or -1.
    double End() {
        double late = -1;
        char line[512];
        while (std::fgets(line, sizeof line, child.out) != nullptr) {
            double ms = 0;
            if (const char* at = std::strstr(line, "at most ");
                at != nullptr && std::sscanf(at, "at most %lf ms", &ms) == 1) {
                late = ms / 1e3;
            }
        }
        Finish(child);
        return late;
    }
};

struct Figure {
    std::vector<double> ratio, cpu;
    double latest = 0; // how far the receiver fell behind its clock at most, counted runs
};

void PrintFigure(const char* name, const Figure& figure) {
    if (figure.ratio.empty()) {
        std::printf("%-22s no run counted\n", name);
        return;
    }
    const auto [ratioMin, ratioMax] = std::minmax_element(figure.ratio.begin(), figure.ratio.end());
    const auto [cpuMin, cpuMax] = std::minmax_element(figure.cpu.begin(), figure.cpu.end());
    std::printf("%-22s wall/line %.4f (%.4f-%.4f)  CPU %4.0f ms (%.0f-%.0f)  receiver late "
                "<= %.1f ms  [%zu runs]\n",
                name, Median(figure.ratio), *ratioMin, *ratioMax, Median(figure.cpu) * 1e3,
                *cpuMin * 1e3, *cpuMax * 1e3, figure.latest * 1e3, figure.ratio.size());
}

int Paced(int argc, char** argv) {
    int runs = 3;
    for (int i = 2; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0) {
            runs = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    QApplication toolkit(argc, argv);
    CWinApp app("bc245xlt");
    AfxSetResourceTable(&BackupResources());
    AnswerOk prompts;
    AfxSetUserPrompts(&prompts);
    const std::string receiverProgram =
        ProgramBeside(argv[0], "../tools/bc245xlt-virtual-receiver");
    const std::string cliProgram = ProgramBeside(argv[0], "../tools/bc245xlt-cli");
    std::string folder =
        (std::filesystem::temp_directory_path() / "bc245xlt-paced-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        return 1;
    }
    const std::string port = folder + "/COM1";
    const std::string image = folder + "/image.bin";
    {
        std::ofstream out(image, std::ios::binary);
        for (int i = 0; i < 8192; ++i) {
            out.put(static_cast<char>(i * 13 + 1));
        }
    }
    SerialFolders folders;
    folders.devices = folder;
    SetSerialFolders(folders);
    CBackupDlg dlg;
    app.m_pMainWnd = &dlg;
    dlg.Create();
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
    }
    const std::vector<std::string> first = {"first", "--link",    port, "--baud",
                                            "9600",  "--delay",   "0",  "--image",
                                            image,   "--timeout", "60"};
    const std::vector<std::string> clone = {"clone", "--link",    port, "--baud",
                                            "9600",  "--timeout", "60"};
    Figure windowGet, windowSend, toolGet, toolSend;
    int refused = 0;
    // One paced transfer: the receiver's side in its own process, ours timed
    // from start to end; counted only if the receiver kept its pace.
    const auto measure = [&](const std::vector<std::string>& mode, Figure& figure,
                             const std::function<double()>& ours, const char* name) {
        PacedReceiver receiver;
        if (!receiver.Begin(receiverProgram, mode)) {
            return false;
        }
        const auto start = Clock::now();
        const double cpu = ours();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double late = receiver.End();
        if (cpu < 0 || late < 0) {
            std::fprintf(stderr, "%s failed\n", name);
            return false;
        }
        // Every run says how far its receiver fell behind the line's clock,
        // and whether that left it fit to be counted.
        const bool counted = late <= 0.01 * kLineSeconds;
        std::printf("%s: wall/line %.4f, the receiver %.1f ms behind its clock: %s\n", name,
                    wall / kLineSeconds, late * 1e3,
                    counted ? "counted" : "not counted (more than 1% of the line time)");
        if (!counted) {
            ++refused;
            return true;
        }
        figure.ratio.push_back(wall / kLineSeconds);
        figure.cpu.push_back(cpu);
        figure.latest = std::max(figure.latest, late);
        return true;
    };
    const auto window = [&](void (CBackupDlg::*handler)()) {
        return [&dlg, handler] {
            const double before = ProcessCpuSeconds();
            (dlg.*handler)();
            return ProcessCpuSeconds() - before;
        };
    };
    const auto tool = [&](std::vector<std::string> arguments) {
        return [arguments] {
            Child child = Start(arguments);
            return Finish(child);
        };
    };
    const std::string saved = folder + "/saved.mrv";
    bool ok = true;
    for (int run = 0; run < runs && ok; ++run) {
        ok = measure(first, windowGet, window(&CBackupDlg::OnGetData), "window download") &&
             measure(first, toolGet,
                     tool({cliProgram, "get", "-q", "--force", "--port", port, "-o", saved}),
                     "tool download");
        dlg.GetDlgItem(IDC_SEND)->EnableWindow(TRUE);
        ok = ok && measure(clone, windowSend, window(&CBackupDlg::OnSendData), "window upload") &&
             measure(clone, toolSend,
                     tool({cliProgram, "send", "-q", "--yes", "--port", port, saved}),
                     "tool upload");
    }
    std::printf("Paced at %d baud, %d bytes = %.3f s of line time; median (range):\n", kBaud,
                kLineBytes, kLineSeconds);
    PrintFigure("download, window", windowGet);
    PrintFigure("download, bc245xlt-cli", toolGet);
    PrintFigure("upload, window", windowSend);
    PrintFigure("upload, bc245xlt-cli", toolSend);
    if (!windowGet.cpu.empty() && !toolGet.cpu.empty() && !windowSend.cpu.empty() &&
        !toolSend.cpu.empty()) {
        std::printf("window CPU / tool CPU: download %.2f, upload %.2f\n",
                    Median(windowGet.cpu) / Median(toolGet.cpu),
                    Median(windowSend.cpu) / Median(toolSend.cpu));
    }
    if (refused > 0) {
        std::printf(
            "%d runs not counted: the receiver was late by more than 1%% of the line time\n",
            refused);
    }
    AfxSetUserPrompts(nullptr);
    app.m_pMainWnd = nullptr;
    std::filesystem::remove_all(folder);
    return ok ? 0 : 1;
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
    WidgetOf(dlg)->hide();
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
    WidgetOf(dlg)->show();
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
