#include "load_backup_target.h"

#include "platform/file.h"

#include <QListWidget>
#include <cstring>
#include <fstream>
#include <vector>

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
    auto* list = qobject_cast<QListWidget*>(dlg.GetDlgItem(IDC_CONTENTS)->Widget());
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
