#include "terminal_report.h"

#include "platform/console.h"

#include <algorithm>
#include <atomic>

namespace {

// Set from a signal handler, or on Windows from the console's own thread.
std::atomic<int> cancelSignal = 0;
std::atomic<int> resized = 1;
static_assert(std::atomic<int>::is_always_lock_free);

void OnCancel(int signal) {
    cancelSignal = signal;
}

void OnResize() {
    resized = 1;
}

// One status line in this many blocks when the progress goes to a file.
constexpr int kLineEvery = 64;

} // namespace

TerminalReport::TerminalReport(CString portName, Style style, int totalBlocks, std::FILE* out)
    : m_portName(std::move(portName)), m_style(style), m_totalBlocks(totalBlocks), m_out(out) {}

TerminalReport::Style TerminalReport::StyleFor(bool quiet, std::FILE* out) {
    if (quiet) {
        return Style::Quiet;
    }
    return IsTerminal(out) ? Style::Bar : Style::Lines;
}

void TerminalReport::ShowStatus(const CString& text) {
    m_status = text;
    m_changed = true;
    if (m_style == Style::Lines) {
        std::fprintf(m_out, "%s\n", text.c_str());
        std::fflush(m_out);
    }
}

void TerminalReport::ShowBlockStatus(const CString& text) {
    m_status = text;
    m_changed = true;
    if (m_style == Style::Lines && m_blocks % kLineEvery == 0 && m_blocks < m_totalBlocks) {
        std::fprintf(m_out, "%s (%d of %d blocks done)\n", text.c_str(), m_blocks, m_totalBlocks);
        std::fflush(m_out);
    }
}

void TerminalReport::StepProgress() {
    ++m_blocks;
    m_changed = true;
}

int TerminalReport::Columns() {
    if (resized != 0) {
        resized = 0;
        const int columns = TerminalColumns(m_out);
        m_columns = columns > 0 ? columns : 80;
    }
    return m_columns;
}

std::string TerminalReport::BarLine(int columns, int blocks, int totalBlocks,
                                    const std::string& status) {
    const int usable = std::max(1, columns - 1);
    const std::string count = std::to_string(blocks) + "/" + std::to_string(totalBlocks);
    std::string line;
    if (usable >= 24 + static_cast<int>(count.size())) {
        // The status gets the room first; the bar takes what is left, 10 to
        // 40 columns.
        const int width =
            std::clamp(usable - static_cast<int>(count.size() + 5 + status.size()), 10, 40);
        const int total = totalBlocks > 0 ? totalBlocks : 1;
        const int filled = std::min(width, blocks * width / total);
        line.append("[")
            .append(static_cast<std::size_t>(filled), '#')
            .append(static_cast<std::size_t>(width - filled), '.')
            .append("] ")
            .append(count)
            .append("  ");
    } else {
        line = count + " ";
    }
    line += status;
    line.resize(std::min(line.size(), static_cast<std::size_t>(usable)));
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

void TerminalReport::ShowNow() {
    if (m_style != Style::Bar || !m_changed) {
        return;
    }
    m_changed = false;
    const std::string line = BarLine(Columns(), m_blocks, m_totalBlocks, m_status);
    std::fprintf(m_out, "\r%s\033[K", line.c_str());
    std::fflush(m_out);
    m_barShown = true;
}

bool TerminalReport::KeepWaiting() {
    return cancelSignal == 0;
}

void TerminalReport::Restart(int totalBlocks) {
    Finish();
    m_totalBlocks = totalBlocks;
    m_blocks = 0;
    m_failure = TransferFailure::NoResponse;
}

void TerminalReport::Finish() {
    if (m_barShown) {
        std::fputc('\n', m_out);
        std::fflush(m_out);
        m_barShown = false;
    }
}

void TerminalReport::CatchSignals() {
    CatchStopRequests(OnCancel, OnResize);
}

int TerminalReport::CancelSignal() {
    return cancelSignal;
}
