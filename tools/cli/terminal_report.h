// The command-line tool's side of what the scanner link reports: a progress
// bar with the block count on a terminal, the status texts as plain lines
// elsewhere, nothing when quiet; Ctrl-C asks the link to stop.
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
    void StepProgress() override;
    void ShowNow() override;
    bool KeepWaiting() override;
    void DownloadComplete() override {}

    void SetTotalBlocks(int blocks) { m_totalBlocks = blocks; }
    // Ends the bar's line, so that what follows starts on a line of its own.
    void Finish();
    const CString& LastStatus() const { return m_status; }

    // Makes SIGINT a cancel request for the running transfer.
    static void CatchInterrupt();
    static bool Interrupted();

private:
    CString m_portName;
    Style m_style;
    int m_totalBlocks;
    int m_blocks = 0;
    std::FILE* m_out;
    CString m_status;
    bool m_changed = false;
    bool m_barShown = false;
};
