// The window on the desktop: what screen readers are told, the fixed-width
// listing, the desktop's font size, the keyboard's way to the window menu.
#include "AboutDlg.h"
#include "fixtures.h"
#include "platform/qt/widgets.h"

#include <QAccessible>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

namespace {

class DesktopTest : public DialogTest {
protected:
    QWidget* Item(int id) const { return WidgetOf(*dlg->GetDlgItem(id)); }

    // The text of the label a control is labelled by, as screen readers get it.
    static QString LabelledBy(QWidget* widget) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        if (face == nullptr) {
            return {};
        }
        for (const auto& [other, relation] : face->relations(QAccessible::Label)) {
            return other->text(QAccessible::Name);
        }
        return {};
    }

    static QString AccessibleName(QWidget* widget) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        return face != nullptr ? face->text(QAccessible::Name) : QString();
    }
};

TEST_F(DesktopTest, ScreenReadersNameEveryControlAfterItsLabel) {
    EXPECT_EQ(AccessibleName(Item(IDC_DESCRIPTION)), "Description:");
    EXPECT_EQ(AccessibleName(Item(IDC_CONTENTS)), "Memory Contents:");
    // A drop-down list is named after its value on this desktop; its label
    // reaches screen readers as the label it is labelled by.
    EXPECT_EQ(LabelledBy(Item(IDC_PORT)), "COM Port:");
    EXPECT_EQ(Item(IDC_PORT)->accessibleName(), "COM Port:");
    EXPECT_FALSE(AccessibleName(Item(IDC_PROGRESS)).isEmpty());
    for (const int button : {IDC_SEND, IDC_GET, IDC_LOAD, IDC_SAVE, IDCANCEL}) {
        EXPECT_FALSE(AccessibleName(Item(button)).isEmpty()) << button;
    }
    // Each label leads to its control.
    int linked = 0;
    for (const auto& control : dlg->Controls()) {
        if (auto* label = qobject_cast<QLabel*>(WidgetOf(*control)); label && label->buddy()) {
            const bool named = AccessibleName(label->buddy()) == label->text() ||
                               LabelledBy(label->buddy()) == label->text();
            EXPECT_TRUE(named) << label->text().toStdString();
            ++linked;
        }
    }
    EXPECT_EQ(linked, 3);
}

TEST_F(DesktopTest, TheListingsColumnsLineUp) {
    auto* list = qobject_cast<QListWidget*>(Item(IDC_CONTENTS));
    EXPECT_TRUE(QFontInfo(list->font()).fixedPitch());
    EXPECT_EQ(list->font().pointSizeF(), WidgetOf(*dlg)->font().pointSizeF())
        << "at the dialog font's size";
    const QFontMetrics metrics(list->font());
    EXPECT_EQ(metrics.horizontalAdvance("00 00 00 00"), metrics.horizontalAdvance("FF AB CD EF"));
}

TEST_F(DesktopTest, ALargerDesktopFontMakesAProportionallyLargerWindow) {
    const DialogBaseUnits normal = dlg->BaseUnits();
    const QFont saved = QApplication::font();
    QFont larger = saved;
    larger.setPointSizeF(saved.pointSizeF() * 14 / 9);
    QApplication::setFont(larger);
    CBackupDlg big;
    ASSERT_TRUE(big.Create());
    const DialogBaseUnits units = big.BaseUnits();
    EXPECT_GT(units.cx, normal.cx);
    EXPECT_GT(units.cy, normal.cy);
    const PixelRect client = MapDialogRect(units, 0, 0, 317, 132);
    EXPECT_EQ(WidgetOf(big)->size(), QSize(client.width, client.height));
    for (std::size_t i = 0; i < big.Controls().size(); ++i) {
        const ControlTemplate& c = big.Template()->controls[i];
        if (std::string(c.windowClass) == WC_COMBOBOX || (c.style & SS_TYPEMASK) == SS_ICON) {
            continue;
        }
        const PixelRect r = MapDialogRect(units, c.x, c.y, c.cx, c.cy);
        EXPECT_EQ(WidgetOf(*big.Controls()[i])->geometry(), QRect(r.left, r.top, r.width, r.height))
            << "control " << i << ": the layout in dialog units stays exact";
    }
    big.DestroyWindow();
    QApplication::setFont(saved);
}

TEST_F(DesktopTest, ShiftF10AndTheMenuKeyOpenTheWindowMenu) {
    for (const bool menuKey : {false, true}) {
        SCOPED_TRACE(menuKey ? "Menu key" : "Shift+F10");
        QStringList shown;
        QTimer::singleShot(50, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* action : menu->actions()) {
                    shown << action->text();
                }
                menu->close();
            }
        });
        Item(IDC_DESCRIPTION)->setFocus();
        if (menuKey) {
            QTest::keyClick(Item(IDC_DESCRIPTION), Qt::Key_Menu);
        } else {
            QTest::keyClick(Item(IDC_DESCRIPTION), Qt::Key_F10, Qt::ShiftModifier);
        }
        EXPECT_TRUE(shown.contains("&About BC245XLT Morvane Utility..."))
            << shown.join('|').toStdString();
    }
}

} // namespace

TEST_F(DesktopTest, ScreenReadersHearTheStatusAsAStatusBarAndTheLinesAsSeparators) {
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(Item(IDC_STATUS));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->role(), QAccessible::StatusBar);
    dlg->GetDlgItem(IDC_STATUS)->SetWindowText("Awaiting MDL query...");
    EXPECT_EQ(status->text(QAccessible::Name), "Awaiting MDL query...");
    int separators = 0;
    for (const auto& control : dlg->Controls()) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(WidgetOf(*control));
        ASSERT_NE(face, nullptr);
        EXPECT_NE(face->role(), QAccessible::Border) << "no nameless frame";
        separators += face->role() == QAccessible::Separator ? 1 : 0;
    }
    EXPECT_EQ(separators, 2);

    CAboutDlg about;
    ASSERT_TRUE(about.Create());
    EXPECT_EQ(AccessibleName(WidgetOf(about)), "About BC245XLT Morvane Utility");
    about.DestroyWindow();
}

// The etched lines take their colours from the palette, so that a dark
// palette shows them too; the progress bar, painted a strip at a time, looks
// as the toolkit's own bar does.
TEST_F(DesktopTest, EtchedLinesAndTheBarFollowThePalette) {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Dark, QColor(0x10, 0x10, 0x10));
    dark.setColor(QPalette::Light, QColor(0x60, 0x60, 0x60));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0xae, 0xe9));
    WidgetOf(*dlg)->setPalette(dark);
    QWidget* line = nullptr;
    for (const auto& control : dlg->Controls()) {
        if ((control->GetStyle() & SS_TYPEMASK) == SS_ETCHEDHORZ &&
            control->WindowClass() == WC_STATIC) {
            line = WidgetOf(*control);
        }
    }
    ASSERT_NE(line, nullptr);
    // A line of one pixel takes the role that stands out from the window; a
    // taller one is dark over light.
    const auto colourOf = [line](int y) {
        return line->grab().toImage().pixel(line->width() / 2, y) & 0xFFFFFF;
    };
    ASSERT_GE(line->height(), 1);
    EXPECT_EQ(colourOf(0), dark.color(QPalette::Light).rgb() & 0xFFFFFF) << "on a dark window";
    QPalette light = dark;
    light.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    line->setPalette(light);
    EXPECT_EQ(colourOf(0), light.color(QPalette::Dark).rgb() & 0xFFFFFF) << "on a light window";
    line->setFixedHeight(2);
    EXPECT_EQ(colourOf(0), light.color(QPalette::Dark).rgb() & 0xFFFFFF);
    EXPECT_EQ(colourOf(1), light.color(QPalette::Light).rgb() & 0xFFFFFF);

    // The bar at 40 %, against a plain toolkit bar of the same size and value:
    // they differ at most in the few columns at the end of the filled part.
    CWnd* progress = dlg->GetDlgItem(IDC_PROGRESS);
    progress->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 512));
    for (int step = 0; step <= 205; ++step) {
        progress->SendMessage(PBM_SETPOS, step);
        progress->UpdateWindow();
    }
    QProgressBar plain(WidgetOf(*dlg));
    plain.setFont(Item(IDC_PROGRESS)->font());
    plain.setTextVisible(false);
    plain.setRange(0, 512);
    plain.setValue(205);
    plain.resize(Item(IDC_PROGRESS)->size());
    const QImage ours = Item(IDC_PROGRESS)->grab().toImage();
    const QImage theirs = plain.grab().toImage();
    ASSERT_EQ(ours.size(), theirs.size());
    int differing = 0;
    for (int x = 0; x < ours.width(); ++x) {
        for (int y = 0; y < ours.height(); ++y) {
            if (ours.pixel(x, y) != theirs.pixel(x, y)) {
                ++differing;
                break;
            }
        }
    }
    EXPECT_LE(differing, 3) << "columns that differ from the toolkit's bar";
    if (const char* folder = std::getenv("BCU_SCREENSHOTS")) {
        dlg->GetDlgItem(IDC_STATUS)->SetWindowText("Awaiting data for block 0cd0...");
        WidgetOf(*dlg)->grab().save(QString(folder) + "/dark.png");
        theirs.save(QString(folder) + "/bar-toolkit.png");
        ours.save(QString(folder) + "/bar-ours.png");
    }
}
