// The command-line tool's side of what the scanner link reports: a progress
// bar that fits the terminal, or the status texts as plain lines (every 64th
// block only), or nothing when quiet. SIGINT, SIGTERM and SIGHUP ask the link
// to stop.
#pragma once

#include "link/ScannerLink.h"

#include <cstdio>
#include <string>

class TerminalReport : public LinkReport {
public:
    enum class Style { Bar, Lines, Quiet };

    TerminalReport(CString portName, Style style, int totalBlocks, std::FILE* out);

    CString PortName() override { return m_portName; }
    void ShowStatus(const CString& text) override;
    void ShowBlockStatus(const CString& text) override;
    void StepProgress() override;
    void ShowNow() override;
    bool KeepWaiting() override;
    void DownloadComplete() override {}
    void TransferFailed(TransferFailure why) override { m_failure = why; }

    // Starts the count again for a transfer of this many blocks.
    void Restart(int totalBlocks);
    // Ends the bar's line, so that what follows starts on a line of its own.
    void Finish();
    const CString& LastStatus() const { return m_status; }
    // Why the last transfer failed; NoResponse when it gave no reason.
    TransferFailure Failure() const { return m_failure; }

    // The style for the stream: a bar on a terminal, lines elsewhere.
    static Style StyleFor(bool quiet, std::FILE* out);

    // The line for the bar in a terminal this many columns wide: never
    // longer than columns - 1, so that the terminal does not wrap it.
    static std::string BarLine(int columns, int blocks, int totalBlocks, const std::string& status);

    // Makes the user's requests to stop (SIGINT, SIGTERM and SIGHUP; Ctrl-C
    // and a closed console on Windows) a cancel request for the running
    // transfer; a closed reader of the progress must not end a transfer; the
    // terminal is measured again when its size changes.
    static void CatchSignals();
    // The signal that asked for a cancel, or 0.
    static int CancelSignal();

private:
    int Columns();

    CString m_portName;
    Style m_style;
    int m_totalBlocks;
    int m_blocks = 0;
    std::FILE* m_out;
    CString m_status;
    bool m_changed = false;
    bool m_barShown = false;
    int m_columns = 0;
    TransferFailure m_failure = TransferFailure::NoResponse;
};
