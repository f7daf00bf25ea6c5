// Shared scaffolding: scripted message boxes and file dialogs, the real main
// dialog, a temporary device folder with a virtual receiver behind "COM1", and
// a record of what the status line and progress bar painted.
#pragma once

#include "BackupDlg.h"
#include "link/timeouts.h"
#include "virtual_receiver.h"

#include <QObject>
#include <deque>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

struct ShownBox {
    std::string text;
    std::string caption;
    UINT type;
    std::string details;
};

class ScriptedPrompts : public CUserPrompts {
public:
    ScriptedPrompts();
    ~ScriptedPrompts() override;
    int MessageBox(CWnd* owner, const CString& text, const CString& caption, UINT type,
                   const CString& details) override;
    bool ChooseFile(CWnd* owner, bool open, const CString& filter, DWORD flags,
                    CString& path) override;

    std::vector<ShownBox> boxes;
    std::deque<int> answers;       // what each box returns; IDOK when empty
    std::deque<std::string> files; // what each file dialog returns; "" cancels
    struct FileRequest {
        bool open;
        std::string filter;
        DWORD flags;
    };
    std::vector<FileRequest> fileRequests;
    // Whether a transfer was still running when a box was shown.
    bool boxDuringTransfer = false;

private:
    CUserPrompts* m_previous;
};

// Records the text of a label or the value of a progress bar every time it paints.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget* widget);
    std::vector<std::string> texts;
    std::vector<int> values;
    std::size_t paints = 0; // every paint, also one that shows nothing new

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Open descriptors of this process.
int CountOpenDescriptors();

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes COM1 in the device folder lead to a new virtual receiver.
    VirtualReceiver& AttachReceiver();
    // Runs the receiver's side on another thread.
    std::future<bool> First(std::vector<std::uint8_t> image, ReceiverFaults faults = {});
    std::future<bool> Clone(ReceiverFaults faults = {});

    CString Status() const;
    int ProgressPos() const;
    std::vector<std::string> ListingRows() const;
    bool Enabled(int id) const;

    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<CBackupDlg> dlg;
    std::unique_ptr<TempDir> devices;
    std::unique_ptr<VirtualReceiver> receiver;
    std::unique_ptr<PaintRecorder> statusPaints;
    std::unique_ptr<PaintRecorder> progressPaints;
    CloneTimeouts savedTimeouts;
};

// A counting pattern of the given number of 16-byte records.
std::vector<std::uint8_t> Pattern(int records, int seed = 0);
