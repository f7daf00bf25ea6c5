// libFuzzer entry: feeds arbitrary files to the backup loader.
#include "load_backup_target.h"
#include "offscreen_app.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// Kept for the life of the process: the fuzzer ends it with exit(), and the
// toolkit must not be torn down from an exit handler.
namespace {
CBackupDlg* dlg = nullptr;
std::string scratch;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    new OffscreenApp(*argc, *argv);
    dlg = new CBackupDlg;
    AfxGetApp()->m_pMainWnd = dlg;
    if (!dlg->Create()) {
        std::abort();
    }
    const char* folder = std::getenv("TMPDIR");
    scratch = std::string(folder != nullptr ? folder : "/tmp") + "/bc245xlt-fuzz-" +
              std::to_string(::getpid()) + ".mrv";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken = LoadBackupOnce(*dlg, scratch, data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "%s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
