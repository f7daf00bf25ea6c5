#include "platform/afx.h"

#include "platform/ansi.h"

#include <QList>

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTextOption>
#include <QToolTip>
#include <qdrawutil.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <new>

// ---------------------------------------------------------------------------
// Resources

struct CIcon {
    QIcon icon;
};

namespace {

const ResourceTable* resources = nullptr;

QColor PaletteColour(char digit) {
    static const QRgb kPalette[16] = {
        0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
        0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
        0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
    };
    const int index = digit >= '0' && digit <= '9'   ? digit - '0'
                      : digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                     : -1;
    return index < 0 ? QColor(Qt::transparent) : QColor::fromRgba(kPalette[index]);
}

QImage RenderIconImage(const IconImage& source) {
    QImage image(source.size, source.size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < source.size && y < static_cast<int>(source.rows.size()); ++y) {
        const std::string& row = source.rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < source.size && x < static_cast<int>(row.size()); ++x) {
            image.setPixelColor(x, y, PaletteColour(row[static_cast<std::size_t>(x)]));
        }
    }
    return image;
}

} // namespace

void AfxSetResourceTable(const ResourceTable* table) {
    resources = table;
}

const DialogTemplate* AfxFindDialogTemplate(UINT id) {
    if (resources != nullptr) {
        for (const DialogResource& entry : resources->dialogs) {
            if (entry.id == id) {
                return &entry.dialog;
            }
        }
    }
    return nullptr;
}

bool AfxLoadString(UINT id, CString& text) {
    text.clear();
    if (resources != nullptr) {
        for (const StringResource& entry : resources->strings) {
            if (entry.id == id) {
                text = entry.text;
                return !text.empty();
            }
        }
    }
    return false;
}

HICON AfxLoadIcon(UINT id) {
    static std::map<UINT, CIcon> loaded;
    if (auto found = loaded.find(id); found != loaded.end()) {
        return &found->second;
    }
    if (resources == nullptr) {
        return nullptr;
    }
    for (const IconResource& entry : resources->icons) {
        if (entry.id == id) {
            CIcon& icon = loaded[id];
            for (const IconImage& image : entry.images) {
                icon.icon.addPixmap(QPixmap::fromImage(RenderIconImage(image)));
            }
            return &icon;
        }
    }
    return nullptr;
}

const QIcon& AfxIconImage(HICON icon) {
    static const QIcon none;
    return icon != nullptr ? icon->icon : none;
}

// ---------------------------------------------------------------------------
// Dialog units

QFont DialogFont(int pointSize) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setFamilies({QStringLiteral("sans-serif")});
    font.setPointSize(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The average width of the 52 letters, rounded to the nearest pixel.
    return {(letters / 26 + 1) / 2, metrics.height()};
}

int MulDiv(int number, int numerator, int denominator) {
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

PixelRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int cx, int cy) {
    const int left = MulDiv(x, units.cx, 4);
    const int top = MulDiv(y, units.cy, 8);
    const int right = MulDiv(x + cx, units.cx, 4);
    const int bottom = MulDiv(y + cy, units.cy, 8);
    return {left, top, right - left, bottom - top};
}

// ---------------------------------------------------------------------------
// Message maps

namespace {
const AFX_MSGMAP_ENTRY kNoEntries[] = {END_MESSAGE_MAP()};
const AFX_MSGMAP kCmdTargetMap = {nullptr, kNoEntries};
} // namespace

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return &kCmdTargetMap;
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message, WPARAM wParam) const {
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr; map = map->pBaseMap) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nSig != AfxSig_end; ++entry) {
            if (entry->nMessage != message) {
                continue;
            }
            if (message == WM_COMMAND &&
                (entry->nCode != HIWORD(wParam) || entry->nID != LOWORD(wParam))) {
                continue;
            }
            return entry;
        }
    }
    return nullptr;
}

LRESULT CCmdTarget::CallHandler(const AFX_MSGMAP_ENTRY& entry, WPARAM wParam, LPARAM lParam) {
    switch (entry.nSig) {
    case AfxSig_vv:
        (this->*entry.pfn.pfn_vv)();
        return 0;
    case AfxSig_vwl:
        (this->*entry.pfn.pfn_vwl)(static_cast<UINT>(wParam), lParam);
        return 0;
    case AfxSig_hv:
        return reinterpret_cast<LRESULT>((this->*entry.pfn.pfn_hv)());
    case AfxSig_end:
        break;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Menus

BOOL CMenu::AppendMenu(UINT flags, UINT id, const char* text) {
    m_items.push_back({flags, id, text != nullptr ? CString(text) : CString()});
    return TRUE;
}

// ---------------------------------------------------------------------------
// Toolkit widgets behind the controls

namespace {

// A list box row painter that expands tab characters to fixed tab stops.
class TabStopDelegate : public QStyledItemDelegate {
public:
    TabStopDelegate(QObject* parent, int tabStopPixels)
        : QStyledItemDelegate(parent), m_tabStop(tabStopPixels) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        opt.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        QTextOption layout(Qt::AlignLeft | Qt::AlignVCenter);
        layout.setTabStopDistance(m_tabStop);
        layout.setWrapMode(QTextOption::NoWrap);
        painter->save();
        painter->setPen(opt.palette.color(QPalette::Text));
        painter->setFont(opt.font);
        painter->drawText(QRectF(opt.rect.adjusted(2, 0, 0, 0)), text, layout);
        painter->restore();
    }

private:
    int m_tabStop;
};

// A continuous bar: a sunken frame with the done part filled in the highlight
// colour. Painting it is cheap enough to do at every step of a transfer.
class SmoothProgressBar : public QProgressBar {
public:
    using QProgressBar::QProgressBar;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QPalette& colours = palette();
        const QRect all = rect();
        // A sunken frame of one-pixel edges, then the well and the done part.
        painter.fillRect(QRect(all.left(), all.top(), all.width(), 1), colours.dark());
        painter.fillRect(QRect(all.left(), all.top(), 1, all.height()), colours.dark());
        painter.fillRect(QRect(all.left(), all.bottom(), all.width(), 1), colours.light());
        painter.fillRect(QRect(all.right(), all.top(), 1, all.height()), colours.light());
        const QRect well = all.adjusted(1, 1, -1, -1);
        painter.fillRect(well, colours.base());
        const QRect inside = well.adjusted(1, 1, -1, -1);
        const int span = maximum() - minimum();
        if (span > 0 && value() > minimum() && inside.width() > 0) {
            const int filled = static_cast<int>(static_cast<long long>(inside.width()) *
                                                (value() - minimum()) / span);
            painter.fillRect(QRect(inside.left(), inside.top(), filled, inside.height()),
                             colours.brush(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                           QPalette::Highlight));
        }
    }
};

// An etched separator: a shadow line with a highlight line below it, from
// the top of its rectangle, as much of the pair as the rectangle holds.
class EtchedLine : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRect(0, 0, width(), 1), palette().dark());
        if (height() > 1) {
            painter.fillRect(QRect(0, 1, width(), 1), palette().light());
        }
    }
};

int CompareNoCase(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive);
}

} // namespace

CWnd::CWnd(QWidget* widget, const char* windowClass, DWORD style, int id) {
    Attach(widget, windowClass, style, id);
}

CWnd::~CWnd() = default;

void CWnd::Attach(QWidget* widget, const char* windowClass, DWORD style, int id) {
    m_widget = widget;
    m_class = windowClass != nullptr ? windowClass : "";
    m_style = style;
    m_id = id;
}

void CWnd::SetWindowText(const CString& text) {
    const QString value = AnsiToQString(text);
    if (auto* edit = qobject_cast<QLineEdit*>(m_widget)) {
        edit->setText(value);
        edit->setCursorPosition(0);
    } else if (auto* label = qobject_cast<QLabel*>(m_widget)) {
        label->setText(value);
        // Status texts must be seen when they are set, also while a transfer
        // keeps the event loop from painting.
        if (label->isVisible() && CTransferScope::Active()) {
            label->repaint();
        }
    } else if (auto* button = qobject_cast<QPushButton*>(m_widget)) {
        button->setText(value);
    } else if (m_widget != nullptr && m_widget->isWindow()) {
        m_widget->setWindowTitle(value);
    }
}

void CWnd::GetWindowText(CString& text) const {
    QString value;
    if (auto* edit = qobject_cast<QLineEdit*>(m_widget)) {
        value = edit->text();
    } else if (auto* combo = qobject_cast<QComboBox*>(m_widget)) {
        value = combo->currentText();
    } else if (auto* label = qobject_cast<QLabel*>(m_widget)) {
        value = label->text();
    } else if (auto* button = qobject_cast<QPushButton*>(m_widget)) {
        value = button->text();
    } else if (m_widget != nullptr && m_widget->isWindow()) {
        value = m_widget->windowTitle();
    }
    text = QStringToAnsi(value);
}

BOOL CWnd::EnableWindow(BOOL enable) {
    if (m_widget == nullptr) {
        return FALSE;
    }
    const bool wasDisabled = !m_widget->isEnabled();
    m_widget->setEnabled(enable != FALSE);
    return wasDisabled ? TRUE : FALSE;
}

BOOL CWnd::IsWindowEnabled() const {
    return m_widget != nullptr && m_widget->isEnabled() ? TRUE : FALSE;
}

BOOL CWnd::IsIconic() const {
    return m_widget != nullptr && m_widget->window()->isMinimized() ? TRUE : FALSE;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_widget != nullptr && m_widget->isWindow()) {
        return WindowProc(message, wParam, lParam);
    }
    return ControlMessage(message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const Current saved = m_current;
    m_current = {message, wParam, lParam};
    LRESULT result = 0;
    try {
        if (const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, wParam)) {
            result = CallHandler(*entry, wParam, lParam);
        } else {
            result = DefWindowProc(message, wParam, lParam);
        }
    } catch (const CException& error) {
        const CString text = error.GetErrorMessage();
        AfxMessageBox(text.empty() ? CString("Internal application error.") : text,
                      MB_OK | MB_ICONSTOP);
    } catch (const std::bad_alloc&) {
        AfxMessageBox("Out of memory.", MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
    } catch (const std::exception&) {
        AfxMessageBox("Internal application error.", MB_OK | MB_ICONSTOP);
    }
    m_current = saved;
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_SETICON && m_widget != nullptr) {
        if (auto* icon = reinterpret_cast<HICON>(lParam)) {
            m_widget->setWindowIcon(icon->icon);
        }
    }
    return 0;
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CWnd::ControlMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (auto* list = qobject_cast<QListWidget*>(m_widget)) {
        switch (message) {
        case LB_RESETCONTENT:
            list->clear();
            return 0;
        case LB_ADDSTRING:
            list->addItem(AnsiToQString(reinterpret_cast<const char*>(lParam)));
            return list->count() - 1;
        default:
            return 0;
        }
    }
    if (auto* combo = qobject_cast<QComboBox*>(m_widget)) {
        switch (message) {
        case CB_ADDSTRING: {
            const QString text = AnsiToQString(reinterpret_cast<const char*>(lParam));
            int at = combo->count();
            if ((m_style & CBS_SORT) != 0) {
                at = 0;
                while (at < combo->count() && CompareNoCase(combo->itemText(at), text) <= 0) {
                    ++at;
                }
            }
            combo->insertItem(at, text);
            return at;
        }
        case CB_SETCURSEL:
            combo->setCurrentIndex(static_cast<int>(wParam));
            return combo->currentIndex();
        default:
            return 0;
        }
    }
    if (auto* bar = qobject_cast<QProgressBar*>(m_widget)) {
        const int previous = m_pos;
        switch (message) {
        case PBM_SETRANGE:
            m_rangeMin = static_cast<int>(LOWORD(static_cast<std::uintptr_t>(lParam)));
            m_rangeMax = static_cast<int>(HIWORD(static_cast<std::uintptr_t>(lParam)));
            bar->setRange(m_rangeMin, m_rangeMax);
            m_pos = std::clamp(m_pos, m_rangeMin, m_rangeMax);
            break;
        case PBM_SETSTEP:
            m_step = static_cast<int>(wParam);
            return 0;
        case PBM_SETPOS:
            m_pos = std::clamp(static_cast<int>(wParam), m_rangeMin, m_rangeMax);
            break;
        case PBM_STEPIT:
            m_pos += m_step;
            // Past the maximum the bar starts over from its beginning.
            if (m_pos > m_rangeMax && m_rangeMax > m_rangeMin) {
                m_pos = m_rangeMin + (m_pos - m_rangeMin) % (m_rangeMax - m_rangeMin);
            }
            break;
        case PBM_GETPOS:
            return m_pos;
        default:
            return 0;
        }
        bar->setValue(m_pos);
        if (bar->isVisible() && CTransferScope::Active()) {
            bar->repaint();
        }
        return previous;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// The dialog window

class CDialogWindow : public QDialog {
public:
    CDialogWindow(CDialog* owner, QWidget* parent, Qt::WindowFlags flags)
        : QDialog(parent, flags), m_owner(owner) {}

    QPaintEvent* m_paintEvent = nullptr;
    bool m_ending = false;

    void Command(int id) {
        // A transfer owns the thread: nothing of the window reacts until it ends.
        if (CTransferScope::Active()) {
            return;
        }
        m_owner->WindowProc(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), BN_CLICKED), 0);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        m_paintEvent = event;
        m_owner->WindowProc(WM_PAINT, 0, 0);
        m_paintEvent = nullptr;
    }

    void keyPressEvent(QKeyEvent* event) override {
        const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        switch (event->key()) {
        case Qt::Key_Escape:
            Command(IDCANCEL);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Enter presses the push button that has the focus; anywhere else
            // it is the OK command.
            if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
                if (button->isEnabled()) {
                    button->click();
                }
            } else {
                Command(IDOK);
            }
            return;
        case Qt::Key_F1:
            if (CWinApp* app = AfxGetApp(); plain && app != nullptr) {
                const WPARAM help = MAKEWPARAM(ID_HELP, BN_CLICKED);
                if (const AFX_MSGMAP_ENTRY* entry = app->FindMessageEntry(WM_COMMAND, help)) {
                    app->CallHandler(*entry, help, 0);
                }
            }
            return;
        default:
            QWidget::keyPressEvent(event);
        }
    }

    void closeEvent(QCloseEvent* event) override {
        if (m_ending) {
            event->accept();
            return;
        }
        event->ignore();
        if (!CTransferScope::Active()) {
            m_owner->WindowProc(WM_SYSCOMMAND, SC_CLOSE, 0);
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip) {
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        for (const auto& control : m_owner->m_controls) {
            CString text;
            if (control->Widget() == widget && control->GetDlgCtrlID() != -1 &&
                m_owner->OnToolTipText(control->GetDlgCtrlID(), text) != FALSE) {
                QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                                   DisplayTextToQString(text), widget);
                return true;
            }
        }
        QToolTip::hideText();
        return true;
    }

    void reject() override { Command(IDCANCEL); }
    void accept() override { Command(IDOK); }

    void contextMenuEvent(QContextMenuEvent* event) override {
        // The window manager owns the title bar's menu; the window's own
        // right-click menu stands in for the system menu.
        CMenu* menu = m_owner->m_systemMenu.get();
        if (menu == nullptr || CTransferScope::Active()) {
            return;
        }
        QMenu popup(this);
        for (const CMenu::Item& item : menu->Items()) {
            if ((item.flags & MF_SEPARATOR) != 0) {
                popup.addSeparator();
            } else {
                popup.addAction(AnsiToQString(item.text))->setData(item.id);
            }
        }
        if (QAction* chosen = popup.exec(event->globalPos())) {
            const QPoint at = event->globalPos();
            m_owner->WindowProc(
                WM_SYSCOMMAND, chosen->data().toUInt(),
                MAKELPARAM(static_cast<unsigned>(at.x()), static_cast<unsigned>(at.y())));
        }
    }

private:
    CDialog* m_owner;
};

// ---------------------------------------------------------------------------
// Dialogs

namespace {
const AFX_MSGMAP_ENTRY* DialogEntries() {
    static const AFX_MSGMAP_ENTRY entries[] = {
        ON_COMMAND(IDOK, &CDialog::OnOK),
        ON_COMMAND(IDCANCEL, &CDialog::OnCancel),
        END_MESSAGE_MAP(),
    };
    return entries;
}

QWidget* CreateControlWidget(const ControlTemplate& control, const DialogBaseUnits& units,
                             QWidget* parent) {
    const DWORD style = control.style;
    const QString text = AnsiToQString(control.text != nullptr ? control.text : "");
    const std::string windowClass = control.windowClass;
    if (windowClass == WC_BUTTON) {
        auto* button = new QPushButton(text, parent);
        button->setAutoDefault(false);
        button->setDefault((style & 0xF) == BS_DEFPUSHBUTTON);
        return button;
    }
    if (windowClass == WC_EDIT) {
        auto* edit = new QLineEdit(parent);
        edit->setFrame((style & WS_BORDER) != 0);
        edit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        edit->setMaxLength(std::numeric_limits<int>::max());
        return edit;
    }
    if (windowClass == WC_COMBOBOX) {
        auto* combo = new QComboBox(parent);
        combo->setEditable(false);
        combo->setInsertPolicy(QComboBox::NoInsert);
        // The layout height includes the dropped-down list: as many rows as fit
        // below the closed box.
        const int listHeight = MulDiv(control.cy, units.cy, 8);
        combo->setMaxVisibleItems(std::max(1, listHeight / std::max(1, units.cy) - 1));
        return combo;
    }
    if (windowClass == WC_LISTBOX) {
        auto* list = new QListWidget(parent);
        list->setUniformItemSizes(true);
        list->setSelectionMode((style & LBS_NOSEL) != 0 ? QAbstractItemView::NoSelection
                                                        : QAbstractItemView::SingleSelection);
        list->setVerticalScrollBarPolicy((style & WS_VSCROLL) != 0 ? Qt::ScrollBarAsNeeded
                                                                   : Qt::ScrollBarAlwaysOff);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setFrameShape((style & WS_BORDER) != 0 ? QFrame::StyledPanel : QFrame::NoFrame);
        list->setFrameShadow(QFrame::Sunken);
        list->setSortingEnabled(false);
        // A tab stop every 32 dialog units.
        list->setItemDelegate(new TabStopDelegate(list, MulDiv(32, units.cx, 4)));
        return list;
    }
    if (windowClass == WC_PROGRESS) {
        QProgressBar* bar =
            (style & PBS_SMOOTH) != 0 ? new SmoothProgressBar(parent) : new QProgressBar(parent);
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
        return bar;
    }
    // Statics.
    switch (style & SS_TYPEMASK) {
    case SS_ETCHEDHORZ:
        return new EtchedLine(parent);
    case SS_ICON: {
        auto* label = new QLabel(parent);
        label->setPixmap(
            AfxIconImage(AfxLoadIcon(static_cast<UINT>(control.iconId))).pixmap(32, 32));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    default: {
        auto* label = new QLabel(text, parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(text.contains(QLatin1Char('\n')));
        return label;
    }
    }
}

// Where the widget goes: its layout rectangle, except that a list that drops
// down keeps only its closed height at the top of its rectangle, and an icon
// takes the icon's own size.
QRect ControlGeometry(const ControlTemplate& control, const DialogBaseUnits& units,
                      QWidget* widget) {
    const PixelRect r = MapDialogRect(units, control.x, control.y, control.cx, control.cy);
    if (std::string(control.windowClass) == WC_COMBOBOX) {
        return {r.left, r.top, r.width, std::min(r.height, widget->sizeHint().height())};
    }
    if (std::string(control.windowClass) == WC_STATIC && (control.style & SS_TYPEMASK) == SS_ICON) {
        return {r.left, r.top, 32, 32};
    }
    return {r.left, r.top, r.width, r.height};
}

} // namespace

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    DestroyWindow();
}

const AFX_MSGMAP* CDialog::GetMessageMap() const {
    static const AFX_MSGMAP map = {CCmdTarget::GetMessageMap(), DialogEntries()};
    return &map;
}

bool CDialog::CreateDialogWindow() {
    DestroyWindow();
    m_template = AfxFindDialogTemplate(m_templateId);
    if (m_template == nullptr) {
        return false;
    }
    CWnd* owner = m_parent != nullptr ? m_parent : AfxGetMainWnd();
    if (owner == this) {
        owner = nullptr;
    }
    QWidget* parentWidget = owner != nullptr ? owner->Widget() : nullptr;
    // A modal frame is a fixed size, with no minimise and no maximise button.
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint;
    if ((m_template->style & WS_CAPTION) != 0) {
        flags |= Qt::WindowTitleHint;
        if ((m_template->style & WS_SYSMENU) != 0) {
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        }
    } else {
        flags = Qt::Dialog | Qt::FramelessWindowHint;
    }
    m_window = new CDialogWindow(this, parentWidget, flags);
    Attach(m_window, "#32770", m_template->style, 0);
    m_window->setAttribute(Qt::WA_DeleteOnClose, false);
    m_window->setSizeGripEnabled(false);
    m_window->setModal(true);

    const QFont font = DialogFont(m_template->pointSize);
    m_window->setFont(font);
    m_units = BaseUnitsOf(font);
    const PixelRect client = MapDialogRect(m_units, 0, 0, m_template->cx, m_template->cy);
    m_window->setFixedSize(client.width, client.height);
    m_window->setWindowTitle(
        AnsiToQString(m_template->caption != nullptr ? m_template->caption : ""));

    QWidget* previousTabStop = nullptr;
    for (const ControlTemplate& control : m_template->controls) {
        QWidget* widget = CreateControlWidget(control, m_units, m_window);
        widget->setFont(font);
        widget->setGeometry(ControlGeometry(control, m_units, widget));
        // Statics never take the focus; other controls take it by Tab only
        // when they are tab stops.
        const bool isStatic = std::string(control.windowClass) == WC_STATIC;
        widget->setFocusPolicy((control.style & WS_TABSTOP) != 0 ? Qt::StrongFocus
                               : isStatic                        ? Qt::NoFocus
                                                                 : Qt::ClickFocus);
        if ((control.style & WS_TABSTOP) != 0) {
            if (previousTabStop != nullptr) {
                QWidget::setTabOrder(previousTabStop, widget);
            }
            previousTabStop = widget;
        }
        auto wnd = std::make_unique<CWnd>(widget, control.windowClass, control.style, control.id);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            const int id = control.id;
            QObject::connect(button, &QPushButton::clicked, m_window,
                             [window = m_window, id] { window->Command(id); });
        }
        widget->installEventFilter(m_window);
        m_controls.push_back(std::move(wnd));
    }
    if ((m_template->style & WS_SYSMENU) != 0) {
        m_systemMenu = std::make_unique<CMenu>();
        m_systemMenu->AppendMenu(MF_STRING, SC_CLOSE, "&Close");
    }
    return true;
}

bool CDialog::Create() {
    if (!CreateDialogWindow()) {
        return false;
    }
    // The framework's own initialisation: the lists' initial entries.
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        for (const char* entry : m_template->controls[i].initStrings) {
            const UINT add =
                m_controls[i]->WindowClass() == WC_LISTBOX ? LB_ADDSTRING : CB_ADDSTRING;
            m_controls[i]->SendMessage(add, 0, reinterpret_cast<LPARAM>(entry));
        }
    }
    const bool defaultFocus = OnInitDialog() != FALSE;
    // Centred on the owner, or on the screen's work area when there is none,
    // and kept inside that work area.
    QScreen* screen = m_window->parentWidget() != nullptr ? m_window->parentWidget()->screen()
                                                          : QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect around = m_window->parentWidget() != nullptr
                             ? m_window->parentWidget()->window()->frameGeometry()
                             : area;
    QRect frame(QPoint(0, 0), m_window->size());
    frame.moveCenter(around.center());
    frame.moveLeft(
        std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() - frame.width())));
    frame.moveTop(
        std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() - frame.height())));
    m_window->move(frame.topLeft());
    m_window->show();
    if (defaultFocus) {
        for (const auto& control : m_controls) {
            if ((control->GetStyle() & WS_TABSTOP) != 0 && control->Widget()->isEnabled()) {
                control->Widget()->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }
    return true;
}

INT_PTR CDialog::DoModal() {
    if (!Create()) {
        return -1;
    }
    m_window->exec();
    const INT_PTR result = m_result;
    DestroyWindow();
    return result;
}

void CDialog::EndDialog(int result) {
    m_result = result;
    if (m_window != nullptr) {
        m_window->m_ending = true;
        m_window->done(result);
    }
}

void CDialog::DestroyWindow() {
    m_controls.clear();
    m_systemMenu.reset();
    if (m_window != nullptr) {
        CDialogWindow* window = m_window;
        m_window = nullptr;
        Attach(nullptr, "#32770", 0, 0);
        window->hide();
        delete window;
    }
}

CWnd* CDialog::GetDlgItem(int id) const {
    if (id == -1) {
        return nullptr;
    }
    for (const auto& control : m_controls) {
        if (control->GetDlgCtrlID() == id) {
            return control.get();
        }
    }
    return nullptr;
}

CMenu* CDialog::GetSystemMenu(BOOL) {
    return m_systemMenu.get();
}

BOOL CDialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

void CDialog::OnOK() {
    DoDataExchange();
    EndDialog(IDOK);
}

BOOL CDialog::OnToolTipText(int, CString&) {
    return FALSE;
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            return WindowProc(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        return 0;
    case WM_PAINT:
        DefaultPaint();
        return 0;
    default:
        return CWnd::DefWindowProc(message, wParam, lParam);
    }
}

void CDialog::DefaultPaint() {
    if (m_window == nullptr || m_template == nullptr || m_window->m_paintEvent == nullptr) {
        return;
    }
    if ((m_template->style & WS_CAPTION) == 0 && (m_template->style & DS_MODALFRAME) != 0) {
        // A frame with no title bar: draw the raised dialog border ourselves.
        QPainter painter(m_window);
        qDrawWinPanel(&painter, m_window->rect(), m_window->palette(), false);
    }
}

// ---------------------------------------------------------------------------
// Painting

CPaintDC::CPaintDC(CDialog* dialog) {
    if (dialog != nullptr && dialog->m_window != nullptr) {
        m_painter = std::make_unique<QPainter>(dialog->m_window);
    }
}

CPaintDC::~CPaintDC() = default;

void GetClientRect(const CWnd* window, CRect& rect) {
    rect = {};
    if (window != nullptr && window->Widget() != nullptr) {
        rect.right = window->Widget()->width();
        rect.bottom = window->Widget()->height();
    }
}

int GetSystemMetrics(int index) {
    return index == SM_CXICON || index == SM_CYICON ? 32 : 0;
}

void DrawIcon(LPARAM paintHandle, int x, int y, HICON icon) {
    auto* painter = reinterpret_cast<QPainter*>(paintHandle);
    if (painter != nullptr && icon != nullptr) {
        painter->drawPixmap(x, y, icon->icon.pixmap(32, 32));
    }
}

// ---------------------------------------------------------------------------
// Application

namespace {
CWinApp* theApplication = nullptr;
}

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName != nullptr ? appName : "") {
    theApplication = this;
}

CWinApp::~CWinApp() {
    if (theApplication == this) {
        theApplication = nullptr;
    }
}

CWinApp* AfxGetApp() {
    return theApplication;
}

CString AfxGetAppName() {
    return theApplication != nullptr ? theApplication->m_pszAppName : "";
}

CWnd* AfxGetMainWnd() {
    return theApplication != nullptr ? theApplication->m_pMainWnd : nullptr;
}

int AfxWinMain(int argc, char** argv) {
    QApplication toolkit(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return 1;
    }
    if (app->m_pszAppName.empty()) {
        // Named after the program file: its base name without folder or extension.
        app->m_pszAppName = QFileInfo(QString::fromLocal8Bit(argc > 0 ? argv[0] : ""))
                                .completeBaseName()
                                .toStdString();
    }
    app->InitInstance();
    return 0;
}

// ---------------------------------------------------------------------------
// Message boxes and file dialogs

namespace {

class ToolkitPrompts : public CUserPrompts {
public:
    int MessageBox(CWnd* owner, const CString& text, const CString& caption, UINT type) override {
        QWidget* parent = owner != nullptr ? owner->Widget() : nullptr;
        QMessageBox box(parent);
        box.setWindowTitle(AnsiToQString(caption));
        box.setTextFormat(Qt::PlainText);
        box.setText(DisplayTextToQString(text));
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
        QFileDialog dialog(owner != nullptr ? owner->Widget() : nullptr);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
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

ToolkitPrompts toolkitPrompts;
CUserPrompts* currentPrompts = nullptr;

} // namespace

CUserPrompts* AfxSetUserPrompts(CUserPrompts* prompts) {
    CUserPrompts* previous = currentPrompts;
    currentPrompts = prompts;
    return previous;
}

CUserPrompts& AfxGetUserPrompts() {
    return currentPrompts != nullptr ? *currentPrompts : toolkitPrompts;
}

int AfxMessageBox(const CString& text, UINT type) {
    if ((type & MB_ICONMASK) == 0 &&
        ((type & MB_TYPEMASK) == MB_OK || (type & MB_TYPEMASK) == MB_OKCANCEL)) {
        type |= MB_ICONEXCLAMATION;
    }
    return AfxGetUserPrompts().MessageBox(AfxGetMainWnd(), text, AfxGetAppName(), type);
}

std::vector<std::pair<CString, CString>> ParseFileFilter(const CString& filter) {
    std::vector<std::pair<CString, CString>> pairs;
    std::vector<CString> parts;
    std::size_t start = 0;
    for (std::size_t bar = filter.find('|'); bar != CString::npos; bar = filter.find('|', start)) {
        parts.push_back(filter.substr(start, bar - start));
        start = bar + 1;
    }
    for (std::size_t i = 0; i + 1 < parts.size() && !parts[i].empty(); i += 2) {
        pairs.emplace_back(parts[i], parts[i + 1]);
    }
    return pairs;
}

CFileDialog::CFileDialog(BOOL openFileDialog, const char*, const char* fileName, DWORD flags,
                         const char* filter, CWnd* parent)
    : m_open(openFileDialog != FALSE), m_flags(flags), m_filter(filter != nullptr ? filter : ""),
      m_parent(parent), m_path(fileName != nullptr ? fileName : "") {}

INT_PTR CFileDialog::DoModal() {
    CWnd* owner = m_parent != nullptr ? m_parent : AfxGetMainWnd();
    CString path;
    if (!AfxGetUserPrompts().ChooseFile(owner, m_open, m_filter, m_flags, path)) {
        return IDCANCEL;
    }
    m_path = path;
    return IDOK;
}

// ---------------------------------------------------------------------------
// Transfers

namespace {

int transferDepth = 0;
bool cancelRequested = false;

class InputBlocker : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                cancelRequested = true;
            }
            return true;
        case QEvent::Close:
            cancelRequested = true;
            event->ignore();
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::InputMethod:
        case QEvent::DragEnter:
        case QEvent::Drop:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonDblClick:
            return true;
        default:
            return false;
        }
    }
};

InputBlocker* blocker = nullptr;

} // namespace

CTransferScope::CTransferScope() {
    if (transferDepth++ == 0) {
        cancelRequested = false;
        if (QCoreApplication::instance() != nullptr) {
            blocker = new InputBlocker;
            QCoreApplication::instance()->installEventFilter(blocker);
        }
    }
}

CTransferScope::~CTransferScope() {
    if (--transferDepth == 0 && blocker != nullptr) {
        if (QCoreApplication::instance() != nullptr) {
            // Input that arrived during the transfer has been dropped; what is
            // still queued is flushed before the filter goes.
            QCoreApplication::processEvents();
            QCoreApplication::instance()->removeEventFilter(blocker);
        }
        delete blocker;
        blocker = nullptr;
    }
}

bool CTransferScope::Active() {
    return transferDepth > 0;
}

bool CTransferScope::PumpWhileWaiting() {
    if (transferDepth > 0 && QCoreApplication::instance() != nullptr) {
        QCoreApplication::processEvents();
    }
    return !cancelRequested;
}

