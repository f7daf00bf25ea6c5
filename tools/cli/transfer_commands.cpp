// get, send and verify: the transfers of the window's Get Data and Send Data,
// and a download that compares instead of saving.
#include "backup/format.h"
#include "cli.h"
#include "files.h"
#include "link/port_info.h"
#include "platform/codepage.h"
#include "terminal_report.h"

#include "platform/console.h"
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kFirstModePrompt[] =
    "Place the BC245XLT in FIRST mode and press E until FIRST flashes in the display.\n";
constexpr char kCloneModePrompt[] =
    "Place the BC245XLT in CLONE mode and press E until CLONE flashes in the display.\n";

// Opens the port; on failure says why and gives the exit status.
bool OpenPortOrExplain(CScannerLink& link, const std::string& port, int& status) {
    if (link.OpenPort() != 0) {
        return true;
    }
    const int error = LastSerialError();
    status = Fail(kPortError, "cannot open the port: " +
                                  ExplainPortFailure(port, error, LastSerialLockHolder()));
    return false;
}

// The exit status of a cancel: 128 and the signal that asked for it.
int Cancelled(const std::string& what) {
    const int signal = TerminalReport::CancelSignal();
    return Fail(signal != 0 ? 128 + signal : kInterrupted, "cancelled; " + what);
}

// The exit status and message of a transfer that returned 0: the status
// follows from the reason the link gave, the message from its status text.
int FailedTransfer(const TerminalReport& report, const std::string& whatNot) {
    if (TerminalReport::CancelSignal() != 0 || report.Failure() == TransferFailure::Cancelled) {
        return Cancelled(whatNot);
    }
    const CString& status = report.LastStatus();
    std::string cause = status.rfind("ERROR: ", 0) == 0 ? status.substr(7) : status;
    if (!cause.empty()) {
        cause[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(cause[0])));
    }
    if (report.Failure() == TransferFailure::NoResponse) {
        cause += " (is it in the right clone mode, and is the cable on this port?";
        if (const int hidden = LastSerialHiddenProcesses(); hidden > 0) {
            // Appended piece by piece: GCC 12 takes a literal put before a
            // temporary string for an overlapping copy when optimising.
            cause.append(" ")
                .append(std::to_string(hidden))
                .append(" processes of other users could not be looked at; one of them may hold "
                        "the port");
        }
        cause += ")";
    }
    return Fail(kTransferFailed, "transfer failed: " + cause);
}

void Say(const Options& options, const char* text) {
    if (!options.quiet) {
        std::fputs(text, stderr);
        std::fflush(stderr);
    }
}

// Downloads the receiver's memory into image; the exit status when it fails.
bool DownloadInto(CScannerLink& link, TerminalReport& report, const Options& options, Image& image,
                  int& status, const std::string& whatNot) {
    if (!OpenPortOrExplain(link, options.port, status)) {
        return false;
    }
    Say(options, kFirstModePrompt);
    const int result = link.Download();
    report.Finish();
    if (result == 0) {
        status = FailedTransfer(report, whatNot);
        return false;
    }
    if (TerminalReport::CancelSignal() != 0) {
        // Asked for after the end line came: still a cancel.
        status = Cancelled(whatNot);
        return false;
    }
    image.length = link.m_imageLength;
    std::memcpy(image.bytes, link.m_image, sizeof image.bytes);
    return true;
}

// Reads the memory back and compares the blocks of sent with it.
int ReadBackAndCompare(CScannerLink& link, TerminalReport& report, const Options& options,
                       const Image& sent) {
    report.Restart(kBlockCount);
    Image memory;
    int status = kSuccess;
    if (!DownloadInto(link, report, options, memory, status, "nothing was compared")) {
        return status;
    }
    const int blocks = (sent.length + kBlockSize - 1) / kBlockSize;
    const int differing = PrintDifferingBlocks(sent, memory, sent.length);
    if (differing == 0) {
        std::printf("verified: %d of %d blocks identical\n", blocks, blocks);
        return kSuccess;
    }
    std::printf("%d of %d blocks differ\n", differing, blocks);
    std::fflush(stdout);
    return Fail(kNotVerified, "the receiver's memory differs from " + options.files[0] + " in " +
                                  std::to_string(differing) +
                                  (differing == 1 ? " block" : " blocks"));
}

// Asks on the terminal before an upload; false unless the answer is yes.
bool Confirmed(const Options& options, int& status) {
    if (options.yes) {
        return true;
    }
    if (!IsTerminal(stdin) || options.files[0] == "-") {
        status = UsageError("send replaces the receiver's memory; confirm with --yes when "
                            "standard input is not a terminal");
        return false;
    }
    // With a backup first, the receiver goes to FIRST mode before CLONE:
    // each mode is asked for when it is due.
    if (!options.backupFirst) {
        std::fputs(kCloneModePrompt, stderr);
    }
    std::fputs("\n"
               "WARNING: This will replace the contents of your BC245XLT's memory!  If you are "
               "unsure you want to do this, answer no.\n"
               "Start the upload? [y/N] ",
               stderr);
    char answer[16] = {};
    if (std::fgets(answer, sizeof answer, stdin) == nullptr ||
        TerminalReport::CancelSignal() != 0) {
        std::fputc('\n', stderr);
        status = TerminalReport::CancelSignal() != 0 ? Cancelled("nothing was sent")
                                                     : Fail(kUsage, "not confirmed; nothing sent");
        return false;
    }
    if (answer[0] != 'y' && answer[0] != 'Y') {
        status = Fail(kUsage, "not confirmed; nothing sent");
        return false;
    }
    return true;
}

// Reads what the receiver holds and saves it before a restore; false, with
// the exit status, when nothing is to be sent.
bool BackUpFirst(CScannerLink& link, TerminalReport& report, const Options& options,
                 OutputFile& backup, int& status) {
    report.Restart(kBlockCount);
    Image held;
    if (!DownloadInto(link, report, options, held, status, "nothing was saved or sent")) {
        if (status == kTransferFailed) {
            Fail(status, "nothing was saved or sent");
        }
        return false;
    }
    if (!backup.Write("Before restoring " + Utf8ToAnsi(options.files[0]), held, status)) {
        Fail(kFileError, "nothing was sent");
        return false;
    }
    // Where the backup is, even when quiet: it is the receiver's only copy.
    std::fprintf(stderr, "Saved %d bytes to %s\n", held.length, backup.Name().c_str());
    Say(options, kCloneModePrompt);
    return true;
}

} // namespace

int Get(const Options& options) {
    const CString description = Utf8ToAnsi(options.description);
    if (description.size() > kMaxDescriptionLength) {
        return UsageError("the description is longer than 32767 characters");
    }
    OutputFile output(options.output, options.force);
    int status = kSuccess;
    if (!output.Check(status)) {
        return status;
    }
    TerminalReport report(options.port, TerminalReport::StyleFor(options.quiet, stderr),
                          kBlockCount, stderr);
    CScannerLink link(report);
    Image image;
    if (!DownloadInto(link, report, options, image, status, "nothing was written")) {
        return status;
    }
    if (!output.Write(description, image, status)) {
        return status;
    }
    if (!options.quiet) {
        std::fprintf(stderr, "Saved %d bytes to %s\n", image.length, output.Name().c_str());
    } else if (options.output.empty()) {
        // A name chosen here is said even when quiet, as the one line of
        // standard output, for a script to take: it is where the backup is.
        std::printf("%s\n", output.Name().c_str());
    }
    return kSuccess;
}

int Send(const Options& options) {
    TerminalReport report(options.port, TerminalReport::StyleFor(options.quiet, stderr), 0, stderr);
    CScannerLink link(report);
    CString description;
    Image sent;
    std::string error;
    if (!ReadBackup(options.files[0], description, sent, error)) {
        return CannotLoad(options.files[0], error);
    }
    int status = kSuccess;
    // Where the backup of what the receiver holds goes is checked before
    // anything is asked or opened.
    OutputFile backup(options.backupPath, false, "bc245xlt-before-restore");
    if (options.backupFirst && !backup.Check(status)) {
        return status;
    }
    if (!Confirmed(options, status)) {
        return status;
    }
    if (options.backupFirst && !BackUpFirst(link, report, options, backup, status)) {
        return status;
    }
    link.m_imageLength = sent.length;
    std::memcpy(link.m_image, sent.bytes, sizeof sent.bytes);
    report.Restart((sent.length + kBlockSize - 1) / kBlockSize);
    if (!OpenPortOrExplain(link, options.port, status)) {
        return status;
    }
    const int result = link.Upload();
    report.Finish();
    if (result == 0) {
        return FailedTransfer(report, "the upload was not finished");
    }
    if (!options.quiet) {
        std::fprintf(stderr, "Sent %d bytes from %s\n", sent.length, options.files[0].c_str());
    }
    if (!options.verify) {
        return kSuccess;
    }
    Say(options, "Now the memory is read back to verify it.\n");
    return ReadBackAndCompare(link, report, options, sent);
}

int Verify(const Options& options) {
    CString description;
    Image expected;
    std::string error;
    if (!ReadBackup(options.files[0], description, expected, error)) {
        return CannotLoad(options.files[0], error);
    }
    TerminalReport report(options.port, TerminalReport::StyleFor(options.quiet, stderr),
                          kBlockCount, stderr);
    CScannerLink link(report);
    return ReadBackAndCompare(link, report, options, expected);
}
