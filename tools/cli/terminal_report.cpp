#include "terminal_report.h"

#include <algorithm>
#include <csignal>

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}

constexpr int kBarWidth = 32;

} // namespace

TerminalReport::TerminalReport(CString portName, Style style, int totalBlocks, std::FILE* out)
    : m_portName(std::move(portName)), m_style(style), m_totalBlocks(totalBlocks), m_out(out) {}

void TerminalReport::ShowStatus(const CString& text) {
    m_status = text;
    m_changed = true;
    if (m_style == Style::Lines) {
        std::fprintf(m_out, "%s\n", text.c_str());
        std::fflush(m_out);
    }
}

void TerminalReport::StepProgress() {
    ++m_blocks;
    m_changed = true;
}

void TerminalReport::ShowNow() {
    if (m_style != Style::Bar || !m_changed) {
        return;
    }
    m_changed = false;
    const int total = m_totalBlocks > 0 ? m_totalBlocks : 1;
    const int filled = std::min(kBarWidth, m_blocks * kBarWidth / total);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kBarWidth, '.');
    std::fprintf(m_out, "\r\033[K[%s] %3d/%d  %s", bar.c_str(), m_blocks, m_totalBlocks,
                 m_status.c_str());
    std::fflush(m_out);
    m_barShown = true;
}

bool TerminalReport::KeepWaiting() {
    return interrupted == 0;
}

void TerminalReport::Finish() {
    if (m_barShown) {
        std::fputc('\n', m_out);
        std::fflush(m_out);
        m_barShown = false;
    }
}

void TerminalReport::CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a waiting read or poll returns at once
    sigaction(SIGINT, &action, nullptr);
}

bool TerminalReport::Interrupted() {
    return interrupted != 0;
}
