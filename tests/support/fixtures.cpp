#include "fixtures.h"
#include "platform/qt/widgets.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QWidget>
#include <dirent.h>
#include <random>

ScriptedPrompts::ScriptedPrompts() : m_previous(AfxSetUserPrompts(this)) {}

ScriptedPrompts::~ScriptedPrompts() {
    AfxSetUserPrompts(m_previous);
}

int ScriptedPrompts::MessageBox(CWnd*, const CString& text, const CString& caption, UINT type,
                                const CString& details) {
    boxes.push_back({text, caption, type, details});
    boxDuringTransfer = boxDuringTransfer || CInputGuard::Active();
    if (answers.empty()) {
        return IDOK;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

bool ScriptedPrompts::ChooseFile(CWnd*, bool open, const CString& filter, DWORD flags,
                                 CString& path) {
    fileRequests.push_back({open, filter, flags});
    if (files.empty()) {
        return false;
    }
    path = files.front();
    files.pop_front();
    return !path.empty();
}

PaintRecorder::PaintRecorder(QWidget* widget) {
    widget->installEventFilter(this);
}

bool PaintRecorder::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint) {
        ++paints;
        if (auto* label = qobject_cast<QLabel*>(watched)) {
            if (texts.empty() || texts.back() != label->text().toStdString()) {
                texts.push_back(label->text().toStdString());
            }
        } else if (auto* bar = qobject_cast<QProgressBar*>(watched)) {
            if (values.empty() || values.back() != bar->value()) {
                values.push_back(bar->value());
            }
        }
    }
    return false;
}

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "bc245xlt-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

int CountOpenDescriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr) {
            ++count;
        }
        ::closedir(dir);
    }
    return count;
}

void DialogTest::SetUp() {
    savedTimeouts = LinkTimeouts();
    LinkTimeouts() = {1500, 1500};
    prompts = std::make_unique<ScriptedPrompts>();
    devices = std::make_unique<TempDir>();
    SerialFolders folders;
    folders.devices = devices->path().string();
    folders.locks = devices->path().string();
    SetSerialFolders(folders);
    dlg = std::make_unique<CBackupDlg>();
    AfxGetApp()->m_pMainWnd = dlg.get();
    ASSERT_TRUE(dlg->Create());
    // Let the first paint of the new window happen before anything is recorded.
    QCoreApplication::processEvents();
    statusPaints = std::make_unique<PaintRecorder>(WidgetOf(*dlg->GetDlgItem(IDC_STATUS)));
    progressPaints = std::make_unique<PaintRecorder>(WidgetOf(*dlg->GetDlgItem(IDC_PROGRESS)));
}

void DialogTest::TearDown() {
    statusPaints.reset();
    progressPaints.reset();
    AfxGetApp()->m_pMainWnd = nullptr;
    dlg.reset();
    receiver.reset();
    devices.reset();
    prompts.reset();
    SetSerialFolders({});
    LinkTimeouts() = savedTimeouts;
}

VirtualReceiver& DialogTest::AttachReceiver() {
    std::string error;
    receiver = VirtualReceiver::Create((devices->path() / "COM1").string(), error);
    if (!receiver) {
        throw std::runtime_error(error);
    }
    return *receiver;
}

std::future<bool> DialogTest::First(std::vector<std::uint8_t> image, ReceiverFaults faults) {
    if (!receiver) {
        AttachReceiver();
    }
    faults.startDelayMs = std::min(faults.startDelayMs, 20);
    return std::async(std::launch::async, [this, image = std::move(image), faults] {
        return receiver->RunFirst(image, faults, 5000);
    });
}

std::future<bool> DialogTest::Clone(ReceiverFaults faults) {
    if (!receiver) {
        AttachReceiver();
    }
    return std::async(std::launch::async,
                      [this, faults] { return receiver->RunClone(faults, 5000); });
}

CString DialogTest::Status() const {
    CString text;
    dlg->GetDlgItem(IDC_STATUS)->GetWindowText(text);
    return text;
}

int DialogTest::ProgressPos() const {
    return static_cast<int>(dlg->GetDlgItem(IDC_PROGRESS)->SendMessage(PBM_GETPOS));
}

std::vector<std::string> DialogTest::ListingRows() const {
    std::vector<std::string> rows;
    auto* list = qobject_cast<QListWidget*>(WidgetOf(*dlg->GetDlgItem(IDC_CONTENTS)));
    for (int i = 0; i < list->count(); ++i) {
        rows.push_back(list->item(i)->text().toStdString());
    }
    return rows;
}

bool DialogTest::Enabled(int id) const {
    return dlg->GetDlgItem(id)->IsWindowEnabled() != FALSE;
}

std::vector<std::uint8_t> Pattern(int records, int seed) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(records) * 16);
    std::mt19937 random(static_cast<unsigned>(seed) + 1);
    for (auto& byte : image) {
        byte = static_cast<std::uint8_t>(random());
    }
    return image;
}
