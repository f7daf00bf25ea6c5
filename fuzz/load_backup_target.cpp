#include "load_backup_target.h"
#include "platform/qt/widgets.h"

#include "backup/format.h"
#include "platform/archive.h"

#include <QListWidget>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

// The file as the format describes it, worked out apart from the loader:
// lines end at a line feed or at a carriage return and the byte after it, and
// each line is measured by all of its bytes.
struct ExpectedBackup {
    bool valid = false;
    std::uint32_t length = 0;
    std::size_t imageAt = 0;
};

bool NextLine(const std::uint8_t* data, std::size_t size, std::size_t& at, std::string& line) {
    line.clear();
    while (at < size) {
        const std::uint8_t byte = data[at++];
        if (byte == '\n') {
            return true;
        }
        if (byte == '\r') {
            if (at == size) {
                return !line.empty();
            }
            if (data[at] != '\n') {
                line.push_back(static_cast<char>(data[at]));
            }
            ++at;
            return true;
        }
        line.push_back(static_cast<char>(byte));
    }
    return !line.empty();
}

ExpectedBackup Expect(const std::uint8_t* data, std::size_t size) {
    ExpectedBackup expected;
    std::size_t at = 0;
    std::string line;
    if (!NextLine(data, size, at, line) || line != kBackupHeader ||
        !NextLine(data, size, at, line) || line.size() > kMaxDescriptionLength || size - at < 4) {
        return expected;
    }
    expected.length = static_cast<std::uint32_t>(data[at]) | data[at + 1] << 8 |
                      data[at + 2] << 16 | static_cast<std::uint32_t>(data[at + 3]) << 24;
    expected.imageAt = at + 4;
    expected.valid = expected.length >= 1 && expected.length <= CBackupDlg::kImageSize &&
                     size - expected.imageAt >= expected.length;
    return expected;
}

} // namespace

std::string LoadBackupOnce(CBackupDlg& dlg, const std::string& scratchPath,
                           const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(scratchPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // A known state to compare with.
    dlg.m_imageLength = 32;
    std::memset(dlg.m_image, 0x5A, sizeof dlg.m_image);
    dlg.m_description = "before";
    dlg.RefreshListing();
    const std::vector<unsigned char> imageBefore(dlg.m_image, dlg.m_image + CBackupDlg::kImageSize);

    int result = 0;
    try {
        result = dlg.LoadBackup(scratchPath);
    } catch (const CArchiveException&) {
        result = -1; // the general error report's case
    }
    auto* list = qobject_cast<QListWidget*>(WidgetOf(*dlg.GetDlgItem(IDC_CONTENTS)));
    const ExpectedBackup expected = Expect(data, size);
    if ((result == 1) != expected.valid) {
        return expected.valid ? "a file the format allows was refused"
                              : "a file the format does not allow was loaded";
    }
    if (result == 1 && (static_cast<std::uint32_t>(dlg.m_imageLength) != expected.length ||
                        std::memcmp(dlg.m_image, data + expected.imageAt, expected.length) != 0)) {
        return "the loaded image is not the one in the file";
    }
    if (result == 1) {
        if (dlg.m_imageLength < 1 || dlg.m_imageLength > CBackupDlg::kImageSize) {
            return "loaded length out of range: " + std::to_string(dlg.m_imageLength);
        }
        if (list->count() != (dlg.m_imageLength + 15) / 16) {
            return "listing does not match the length";
        }
        return "";
    }
    if (dlg.m_imageLength != 32 || dlg.m_description != "before" || list->count() != 2 ||
        std::memcmp(dlg.m_image, imageBefore.data(), imageBefore.size()) != 0) {
        return "a failed load changed the state";
    }
    return "";
}
