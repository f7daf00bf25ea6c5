// The toolkit widgets behind the controls: buttons, edit fields, lists, the
// progress bar and the statics, set up as their styles say.
#include "controls.h"

#include "held_input.h"

#include "platform/qt/ansi.h"
#include "platform/qt/handles.h"
#include "platform/qt/icons.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStaticText>
#include <QStyleOptionFocusRect>
#include <QStyleOptionProgressBar>
#include <QStyledItemDelegate>
#include <QTextOption>

#include <algorithm>
#include <cstdlib>
#include <utility>

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

// A static's text. A single line of plain text is painted from a layout made
// once for each new text, not laid out again at every paint.
class StaticLabel : public QLabel, public PendingPaint {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override {
        Painted(event->rect());
        const QString shown = text();
        if (!pixmap().isNull() || wordWrap() || shown.contains(QLatin1Char('\n')) ||
            shown.contains(QLatin1Char('&')) ||
            (alignment() & (Qt::AlignLeft | Qt::AlignTop)) != (Qt::AlignLeft | Qt::AlignTop)) {
            QLabel::paintEvent(event);
            return;
        }
        if (m_layout.text() != shown || m_font != font()) {
            m_font = font();
            m_layout.setText(shown);
            m_layout.setTextFormat(Qt::PlainText);
            m_layout.prepare(QTransform(), m_font);
        }
        QPainter painter(this);
        painter.setFont(m_font);
        painter.setPen(
            palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
        painter.drawStaticText(contentsRect().topLeft(), m_layout);
    }

private:
    QStaticText m_layout;
    QFont m_font;
};

// The toolkit's progress bar, painted a strip at a time: the bar is drawn by
// the style empty, full and half full once for each size, palette and style,
// and a paint copies the filled part from the full drawing, the end of the
// filled part from the half-full one and the rest from the empty one, so that
// a step repaints only the strip that changed.
class StripProgressBar : public QProgressBar, public PendingPaint {
public:
    using QProgressBar::QProgressBar;

protected:
    void paintEvent(QPaintEvent* event) override {
        Painted(event->rect());
        if (maximum() <= minimum() || isTextVisible() || orientation() != Qt::Horizontal) {
            QProgressBar::paintEvent(event);
            return;
        }
        const qreal ratio = devicePixelRatioF();
        if (m_empty.size() != size() * ratio || m_palette != palette().cacheKey() ||
            m_style != style() || m_enabled != isEnabled()) {
            m_empty = Draw(minimum(), ratio);
            m_full = Draw(maximum(), ratio);
            const int middle = minimum() + (maximum() - minimum()) / 2;
            m_end = Draw(middle, ratio);
            m_endAt = Split(middle);
            m_palette = palette().cacheKey();
            m_style = style();
            m_enabled = isEnabled();
        }
        // The end of the filled part looks the same wherever it is: a few
        // columns before the split and after it.
        constexpr int kEndBefore = 5;
        constexpr int kEndAfter = 3;
        const int split = Split(value());
        const bool end = value() > minimum() && value() < maximum();
        const int endLeft = end ? split - kEndBefore : split;
        const int endRight = end ? split + kEndAfter : split;
        QPainter painter(this);
        const auto copy = [&](const QPixmap& from, int left, int right, int shift) {
            const QRect target = event->rect() & QRect(left, 0, right - left, height());
            if (!target.isEmpty()) {
                const QRectF source((target.x() + shift) * ratio, target.y() * ratio,
                                    target.width() * ratio, target.height() * ratio);
                painter.drawPixmap(QRectF(target), from, source);
            }
        };
        copy(m_full, 0, endLeft, 0);
        copy(m_end, endLeft, endRight, m_endAt - split);
        copy(m_empty, endRight, width(), 0);
    }

private:
    // Where the filled part ends for a value, as the style lays it out.
    int Split(int at) {
        QStyleOptionProgressBar option;
        initStyleOption(&option);
        const QRect contents =
            style()->subElementRect(QStyle::SE_ProgressBarContents, &option, this);
        return contents.left() + static_cast<int>(static_cast<long long>(contents.width()) *
                                                  (at - minimum()) / (maximum() - minimum()));
    }
    QPixmap Draw(int at, qreal ratio) {
        QPixmap image((QSizeF(size()) * ratio).toSize());
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        QStyleOptionProgressBar option;
        initStyleOption(&option);
        option.progress = at;
        style()->drawControl(QStyle::CE_ProgressBar, &option, &painter, this);
        return image;
    }
    QPixmap m_empty;
    QPixmap m_full;
    QPixmap m_end;   // half full, for the end of the filled part
    int m_endAt = 0; // where its filled part ends
    qint64 m_palette = 0;
    const QStyle* m_style = nullptr;
    bool m_enabled = true;
};

// An etched line: a line in the palette's dark colour with one in its light
// colour below. Where there is room for one line only, it takes whichever of
// the two stands out from the window's colour, so that the line shows on dark
// palettes as on light ones.
class EtchedLine : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QPalette& colours = palette();
        if (height() >= 2) {
            painter.fillRect(0, 0, width(), 1, colours.color(QPalette::Dark));
            painter.fillRect(0, 1, width(), 1, colours.color(QPalette::Light));
            return;
        }
        const int window = colours.color(QPalette::Window).lightness();
        const QColor dark = colours.color(QPalette::Dark);
        const QColor light = colours.color(QPalette::Light);
        const bool darkStandsOut =
            std::abs(dark.lightness() - window) >= std::abs(light.lightness() - window);
        painter.fillRect(rect(), darkStandsOut ? dark : light);
    }
};

// What screen readers are told of a static whose role the program set, and
// of an etched line: a separator, not a nameless frame.
class RoleAccessible : public QAccessibleWidget {
public:
    RoleAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}
    QString text(QAccessible::Text kind) const override {
        if (auto* label = qobject_cast<QLabel*>(widget());
            label != nullptr && kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return label->text();
        }
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* ControlAccessible(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) {
        return nullptr;
    }
    if (dynamic_cast<EtchedLine*>(widget) != nullptr) {
        return new RoleAccessible(widget, QAccessible::Separator);
    }
    const QVariant role = widget->property(kAccessibleRoleProperty);
    if (role.isValid()) {
        return new RoleAccessible(widget, static_cast<QAccessible::Role>(role.toInt()));
    }
    return nullptr;
}

} // namespace

void MarkUnpainted(QWidget* widget, const QRect& rect) {
    if (auto* pending = dynamic_cast<PendingPaint*>(widget)) {
        pending->pending = pending->pending.united(rect);
    }
}

QRect TakeUnpainted(QWidget* widget) {
    auto* pending = dynamic_cast<PendingPaint*>(widget);
    return pending != nullptr ? std::exchange(pending->pending, QRect()) : QRect();
}

void SetAccessibleRole(QWidget* widget, int role) {
    widget->setProperty(kAccessibleRoleProperty, role);
}

int CompareNoCase(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive);
}

QWidget* CreateControlWidget(const ControlTemplate& control, const DialogBaseUnits& units,
                             QWidget* parent) {
    static const bool accessibleRoles = [] {
        QAccessible::installFactory(ControlAccessible);
        QAccessible::installFactory(
            [](const QString&, QObject* object) { return AccessibleForHeldInput(object); });
        return true;
    }();
    (void)accessibleRoles;
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
        auto* bar = new StripProgressBar(parent);
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
        return bar;
    }
    // Statics.
    switch (style & SS_TYPEMASK) {
    case SS_ETCHEDHORZ: {
        return new EtchedLine(parent);
    }
    case SS_ICON: {
        auto* label = new QLabel(parent);
        label->setPixmap(
            AfxIconImage(AfxLoadIcon(static_cast<UINT>(control.iconId))).pixmap(32, 32));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    default: {
        auto* label = new StaticLabel(text, parent);
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
