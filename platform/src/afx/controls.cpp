// The toolkit widgets behind the controls: buttons, edit fields, lists, the
// progress bar and the statics, set up as their styles say.
#include "controls.h"

#include "platform/ansi.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>
#include <QTextOption>

#include <algorithm>

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

// A list that shows a focus frame inside its border while it has the focus,
// also when it lets no row be selected and so has no current row to mark.
class FocusFrameList : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    void paintEvent(QPaintEvent* event) override {
        QListWidget::paintEvent(event);
        if (!hasFocus()) {
            return;
        }
        QPainter painter(viewport());
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = viewport()->rect().adjusted(1, 1, -1, -1);
        focus.backgroundColor = palette().color(QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
    void focusInEvent(QFocusEvent* event) override {
        QListWidget::focusInEvent(event);
        viewport()->update();
    }
    void focusOutEvent(QFocusEvent* event) override {
        QListWidget::focusOutEvent(event);
        viewport()->update();
    }
};

} // namespace

int CompareNoCase(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive);
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
        // The edit field's customary limit; no file this program wrote holds a
        // longer description.
        edit->setMaxLength(kEditTextLimit);
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
        auto* list = new FocusFrameList(parent);
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
        // The toolkit's own bar; the styles draw it continuous, as PBS_SMOOTH asks.
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
        return bar;
    }
    // Statics.
    switch (style & SS_TYPEMASK) {
    case SS_ETCHEDHORZ: {
        auto* line = new QFrame(parent);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        return line;
    }
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
