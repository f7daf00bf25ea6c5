// Message boxes and file dialogs: the toolkit's, or the ones a test puts in
// their place.
#include "platform/afx/prompts.h"
#include "platform/qt/widgets.h"

#include "common/afx_backend.h"
#include "platform/qt/ansi.h"

#include <QFileDialog>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>

namespace {

class ToolkitPrompts : public CUserPrompts {
public:
    int MessageBox(CWnd* owner, const CString& text, const CString& caption, UINT type,
                   const CString& details) override {
        QWidget* parent = owner != nullptr ? WidgetOf(*owner) : nullptr;
        QMessageBox box(parent);
        box.setWindowTitle(AnsiToQString(caption));
        box.setTextFormat(Qt::PlainText);
        box.setText(DisplayTextToQString(text));
        if (!details.empty()) {
            box.setDetailedText(DisplayTextToQString(details));
        }
        switch (type & MB_ICONMASK) {
        case MB_ICONSTOP:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONEXCLAMATION:
            box.setIcon(QMessageBox::Warning);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
        }
        if ((type & MB_SYSTEMMODAL) != 0) {
            box.setWindowFlag(Qt::WindowStaysOnTopHint);
        }
        if ((type & MB_TYPEMASK) == MB_OKCANCEL) {
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Cancel);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Ok);
        }
        for (QAbstractButton* button : box.buttons()) {
            button->setIcon(QIcon());
        }
        return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
    }

    bool ChooseFile(CWnd* owner, bool open, const CString& filter, DWORD flags,
                    CString& path) override {
        QFileDialog dialog(owner != nullptr ? WidgetOf(*owner) : nullptr);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, (flags & OFN_OVERWRITEPROMPT) == 0);
        dialog.setWindowTitle(open ? QStringLiteral("Open") : QStringLiteral("Save As"));
        QStringList filters;
        for (const auto& [name, pattern] : ParseFileFilter(filter)) {
            // "*.*" means every file; the toolkit's pattern for that is "*".
            QString patterns = AnsiToQString(pattern);
            patterns.replace(QStringLiteral("*.*"), QStringLiteral("*")).replace(';', ' ');
            filters << AnsiToQString(name) + QStringLiteral(" (") + patterns + QLatin1Char(')');
        }
        dialog.setNameFilters(filters);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return false;
        }
        path = dialog.selectedFiles().front().toLocal8Bit().toStdString();
        return true;
    }
};

} // namespace

CUserPrompts& SystemPrompts() {
    static ToolkitPrompts prompts;
    return prompts;
}
