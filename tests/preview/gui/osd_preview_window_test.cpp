// The preview form on Qt: its controls after creation (hidden, page 1, information view, card list),
// real clicks, double clicks and long presses on the tiles, the slider, the choice tiles, the back
// button, the transition driven tick by tick and by its timer, the card list's hover and wheel.

#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest/QTest>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "preview/osd_preview_window.h"

namespace hlx::preview {
namespace {

using namespace std::chrono_literals;

const QColor kDarkRed(0x80, 0x00, 0x00);
const QColor kGrey(0x80, 0x80, 0x80);

class OsdPreviewWindowTest : public ::testing::Test {
protected:
    OsdPreviewWindowTest() : form(std::make_unique<OsdPreviewWindow>()) {}

    template <typename T = QWidget>
    T* child(const QString& name) const {
        T* widget = form->findChild<T*>(name);
        EXPECT_NE(nullptr, widget) << name.toStdString();
        return widget;
    }
    QWidget* entryTile(int j) const { return child(QStringLiteral("EntryTile%1").arg(j)); }
    QString entryText(const char* part, int j) const {
        return child<QLabel>(QStringLiteral("Entry%1%2").arg(QLatin1String(part)).arg(j))->text();
    }
    QWidget* choiceTile(int i) const { return child(QStringLiteral("ChoiceTile%1").arg(i)); }
    // The colour a panel shows in its middle.
    static QColor shownColour(QWidget* widget) {
        return widget->grab().toImage().pixelColor(widget->width() / 2, widget->height() - 4);
    }
    // Shown on the form (the form itself may be hidden).
    bool shown(QWidget* widget) const { return widget->isVisibleTo(form.get()); }
    int visibleEntryTiles() const {
        int n = 0;
        for (int j = 0; j < 20; ++j) n += shown(entryTile(j)) ? 1 : 0;
        return n;
    }
    int visibleChoiceTiles() const {
        int n = 0;
        for (int i = 0; i < 100; ++i) n += shown(choiceTile(i)) ? 1 : 0;
        return n;
    }
    std::int16_t value(std::size_t index) const { return form->menuData().settingValues[index]; }

    void showForm() {
        form->setWindowState(Qt::WindowNoState);
        form->resize(1400, 980);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(10, 10)); }
    void doubleClick(QWidget* widget) {
        QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseDClick(widget, Qt::LeftButton, {}, QPoint(10, 10));
    }
    // Ticks Timer2 by hand until the transition has ended.
    int tickUntilDone() {
        int ticks = 0;
        while (form->logic().scene().transitionRunning && ticks < 100) {
            form->stepTransition();
            ++ticks;
        }
        return ticks;
    }
    bool waitForPage(int page) {
        return QTest::qWaitFor(
            [&] {
                return pageOf(form->logic().navStack().current()) == page &&
                       !form->logic().scene().transitionRunning;
            },
            3000);
    }

    std::unique_ptr<OsdPreviewWindow> form;
};

TEST_F(OsdPreviewWindowTest, CreatedHiddenOnPageOneWithTheInformationView) {
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->windowState() & Qt::WindowMaximized) << "shown maximised";
    EXPECT_EQ(5, visibleEntryTiles());
    const char* names[] = {"EINGANG", "BACKLIGHT", "FARBE °K", "SKALIERUNG", "FORMAT"};
    for (int j = 0; j < 5; ++j) {
        SCOPED_TRACE(j);
        EXPECT_EQ(QRect(20 + 180 * j, 20, 160, 160), entryTile(j)->geometry());
        EXPECT_EQ(QString::fromUtf8(names[j]), entryText("Name", j));
        EXPECT_EQ(j >= 2, shown(child(QStringLiteral("EntryMore%1").arg(j))));
    }
    EXPECT_EQ(QStringLiteral("TESTBILD"), entryText("Value", 0));
    EXPECT_EQ(QStringLiteral("MEHR"), entryText("More", 2));
    EXPECT_EQ(kDarkRed, shownColour(entryTile(0)));
    EXPECT_EQ(kGrey, shownColour(entryTile(1)));

    EXPECT_EQ(QRect(152, 473, 920, 73), child("HeaderPanel")->geometry());
    EXPECT_EQ(QRect(153, 541, 920, 200), child("TestPanel")->geometry());
    EXPECT_EQ(QRect(152, 741, 920, 200), child("DetailsPanel")->geometry());
    EXPECT_EQ(QRect(1072, 473, 293, 473), child("ScrollBox1")->geometry());
    EXPECT_TRUE(shown(child("PaintBox1")));
    EXPECT_EQ(QRect(0, 0, 920, 200), child("PaintBox1")->geometry());
    EXPECT_FALSE(shown(child("DetailSlider")));
    EXPECT_FALSE(shown(child("DetailValue")));
    EXPECT_FALSE(shown(child("DetailLabel")));
    EXPECT_FALSE(shown(child("btnZurueck")));
    EXPECT_EQ(860, child("btnExit")->x());
    EXPECT_EQ(0, visibleChoiceTiles());
    for (int i = 1; i <= 4; ++i) EXPECT_FALSE(shown(child(QStringLiteral("Blind%1Panel").arg(i))));
    EXPECT_FALSE(child<QTimer>("Timer1")->isActive());
    EXPECT_FALSE(child<QTimer>("Timer2")->isActive()) << "no ticks while no transition runs";
    EXPECT_EQ(200, child<QTimer>("Timer1")->interval());
    EXPECT_EQ(25, child<QTimer>("Timer2")->interval());

    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(QRect(5, 80 * i + 5, 273, 75), child(QStringLiteral("Card%1").arg(i))->geometry());
    EXPECT_EQ(QStringLiteral("60\""), child<QLabel>("CardLabel6_0")->text());
    EXPECT_EQ(QStringLiteral("SN1000006"), child<QLabel>("CardLabel6_1")->text());
    EXPECT_EQ(QStringLiteral("ROOM"), child<QLineEdit>("CardEdit3_0")->text());
    EXPECT_EQ(QStringLiteral("GROUP"), child<QLineEdit>("CardEdit3_1")->text());
}

// The information view copies chart A whole and the top-left 100 x 60 pixels of charts H, I and J below
// each other beside it; the three values are written right of them.
TEST_F(OsdPreviewWindowTest, InformationViewShowsTheChartsAndThreeValues) {
    const PreviewCharts& charts = form->charts();
    ASSERT_EQ(QSize(200, 200), charts.a.size());
    ASSERT_EQ(QSize(100, 60), charts.h.size());
    ASSERT_EQ(QSize(120, 80), charts.i.size());
    ASSERT_EQ(QSize(120, 80), charts.j.size());
    showForm();
    const QImage shown = child("PaintBox1")->grab().toImage().convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(charts.a, shown.copy(0, 0, 200, 200));
    EXPECT_EQ(charts.h, shown.copy(200, 0, 100, 60));
    EXPECT_EQ(charts.i.copy(0, 0, 100, 60), shown.copy(200, 60, 100, 60));
    EXPECT_EQ(charts.j.copy(0, 0, 100, 60), shown.copy(200, 120, 100, 60));
    EXPECT_EQ(QColor(Qt::black), shown.pixelColor(250, 190)) << "below the charts the panel stays black";
    // White text in the rows of the three items, nothing below them.
    const auto whitePixels = [&](QRect area) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += shown.pixelColor(x, y).lightness() > 200 ? 1 : 0;
        return n;
    };
    for (int u = 0; u < 3; ++u) {
        SCOPED_TRACE(u);
        EXPECT_GT(whitePixels(QRect(320, 10 + 20 * u, 130, 16)), 20) << "label";
        EXPECT_GT(whitePixels(QRect(460, 10 + 20 * u, 100, 16)), 5) << "value";
    }
    EXPECT_EQ(0, whitePixels(QRect(320, 80, 400, 100)));
}

TEST_F(OsdPreviewWindowTest, ClickOnSwitchFlipsItsBitOnly) {
    showForm();
    form->enterTile(itemCode(1, 2));
    tickUntilDone();
    click(entryTile(6));
    EXPECT_EQ(QStringLiteral("SW"), entryText("Name", 6));
    EXPECT_EQ(0x0F00, value(36));
    EXPECT_EQ(QStringLiteral("1"), entryText("Value", 6));
    EXPECT_EQ(0, child("DetailsPanel")->height()) << "no details";
    EXPECT_EQ(kDarkRed, shownColour(entryTile(6)));
    EXPECT_EQ(kGrey, shownColour(entryTile(0)));
    click(entryTile(6));
    EXPECT_EQ(0x0700, value(36));
    EXPECT_EQ(QStringLiteral("0"), entryText("Value", 6));
}

TEST_F(OsdPreviewWindowTest, BacklightSliderEditsTheValue) {
    showForm();
    click(entryTile(1));
    auto* slider = child<QSlider>("DetailSlider");
    EXPECT_TRUE(slider->isVisible());
    EXPECT_EQ(0, slider->minimum());
    EXPECT_EQ(255, slider->maximum());
    EXPECT_EQ(15, slider->value());
    EXPECT_EQ(QStringLiteral("  15"), child<QLabel>("DetailValue")->text());
    EXPECT_TRUE(child("DetailValue")->isVisible());
    EXPECT_EQ(80, child("DetailsPanel")->height());
    EXPECT_FALSE(child("PaintBox1")->isVisible());

    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(255, value(77));
    EXPECT_EQ(QStringLiteral(" 255"), child<QLabel>("DetailValue")->text());
    EXPECT_EQ(QStringLiteral(" 255"), entryText("Value", 1));
    slider->setValue(40);
    EXPECT_EQ(40, value(77));
}

TEST_F(OsdPreviewWindowTest, InputShowsTwentyChoiceTilesAndClickingOneSetsIt) {
    showForm();
    click(entryTile(0));
    EXPECT_EQ(20, visibleChoiceTiles());
    EXPECT_EQ(200, child("DetailsPanel")->height());
    const char* texts[] = {"VGA1", "VGA2", "FBAS1", "FBAS2", "FBAS3", "Y/C", "YCRCB", "DVI1", "DVI2", "DVI3",
                           "DVI4", "DVI5", "DVI6",  "DVI7",  "DVI8",  "HD1", "HD2",   "HD3",  "HD4",  "TBG"};
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(QRect(20 + 90 * (i % 10), 20 + 90 * (i / 10), 70, 70), choiceTile(i)->geometry());
        EXPECT_EQ(QString::fromLatin1(texts[i]),
                  child<QLabel>(QStringLiteral("ChoiceLabel%1").arg(i))->text());
    }
    EXPECT_EQ(kDarkRed, shownColour(choiceTile(19)));
    EXPECT_EQ(kGrey, shownColour(choiceTile(7)));

    click(choiceTile(7));
    EXPECT_EQ(7, value(35) & 0xFF);
    EXPECT_EQ(QStringLiteral("DVI 1"), entryText("Value", 0));
    EXPECT_EQ(kDarkRed, shownColour(choiceTile(7)));
    EXPECT_EQ(kGrey, shownColour(choiceTile(19)));
}

TEST_F(OsdPreviewWindowTest, ColourTemperatureGetsASliderInsteadOfTiles) {
    showForm();
    click(entryTile(2));
    auto* slider = child<QSlider>("DetailSlider");
    EXPECT_TRUE(slider->isVisible());
    EXPECT_EQ(0, slider->minimum());
    EXPECT_EQ(72, slider->maximum());
    EXPECT_EQ(0, visibleChoiceTiles());
    slider->setValue(36);
    EXPECT_EQ(QString::fromUtf8("6504 °K"), entryText("Value", 2));
}

TEST_F(OsdPreviewWindowTest, TransitionIntoPageTwoAndBackTickByTick) {
    form->enterTile(itemCode(1, 2));
    EXPECT_TRUE(child<QTimer>("Timer2")->isActive());
    QWidget* blind = child("Blind1Panel");
    form->stepTransition();
    EXPECT_EQ(QRect(380, 20, 160, 160), blind->geometry());
    EXPECT_TRUE(shown(blind));
    for (int frame = 2; frame <= 11; ++frame) form->stepTransition();
    EXPECT_EQ(QRect(0, 0, 920, 200), blind->geometry());
    form->stepTransition();
    EXPECT_FALSE(shown(blind));
    EXPECT_FALSE(child<QTimer>("Timer2")->isActive());
    EXPECT_EQ(8, visibleEntryTiles());
    for (int j = 0; j < 4; ++j) EXPECT_EQ(QRect(20 + 180 * j, 20, 160, 160), entryTile(j)->geometry());
    EXPECT_EQ(QRect(740, 20, 70, 70), entryTile(4)->geometry());
    EXPECT_EQ(QRect(830, 20, 70, 70), entryTile(5)->geometry());
    EXPECT_EQ(QRect(740, 110, 70, 70), entryTile(6)->geometry());
    EXPECT_EQ(QRect(830, 110, 70, 70), entryTile(7)->geometry());
    EXPECT_TRUE(shown(child("btnZurueck")));
    EXPECT_EQ(810, child("btnZurueck")->x());

    form->goBack();
    form->stepTransition();
    for (int i = 1; i <= 4; ++i) EXPECT_TRUE(shown(child(QStringLiteral("Blind%1Panel").arg(i))));
    EXPECT_EQ(11, tickUntilDone());
    EXPECT_EQ(5, visibleEntryTiles());
    EXPECT_FALSE(shown(child("btnZurueck")));
    EXPECT_EQ(QStringLiteral("FARBE °K"), entryText("Name", 2));
}

TEST_F(OsdPreviewWindowTest, DoubleClickAndBackButtonRunOnTheTimer) {
    showForm();
    doubleClick(entryTile(2));
    ASSERT_TRUE(waitForPage(2));
    EXPECT_EQ(8, visibleEntryTiles());
    ASSERT_TRUE(child("btnZurueck")->isVisible());
    click(child("btnZurueck"));
    ASSERT_TRUE(waitForPage(1));
    EXPECT_EQ(5, visibleEntryTiles());
    EXPECT_EQ(kDarkRed, shownColour(entryTile(2))) << "the entry entered through is selected";
}

TEST_F(OsdPreviewWindowTest, LongPressEntersThePage) {
    showForm();
    QTest::mousePress(entryTile(2), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(child<QTimer>("Timer1")->isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->logic().scene().transitionRunning; }, 2000));
    EXPECT_FALSE(child<QTimer>("Timer1")->isActive());
    QTest::mouseRelease(entryTile(2), Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_TRUE(waitForPage(2));
    EXPECT_EQ(1, form->logic().navStack().depth());
}

TEST_F(OsdPreviewWindowTest, ShortPressEntersNothing) {
    showForm();
    click(entryTile(2));
    EXPECT_FALSE(child<QTimer>("Timer1")->isActive());
    QTest::qWait(300);
    EXPECT_FALSE(form->logic().scene().transitionRunning);
    EXPECT_EQ(256, form->logic().navStack().current());
}

TEST_F(OsdPreviewWindowTest, ScalingEntersItsDetailPageOnlyWithOne) {
    for (int scaling : {0, 1}) {
        SCOPED_TRACE(scaling);
        form = std::make_unique<OsdPreviewWindow>();
        form->logic().setField(itemCode(1, 3), scaling);
        form->enterTile(itemCode(1, 3));
        EXPECT_EQ(12, tickUntilDone());
        if (scaling == 1) {
            EXPECT_EQ(7 * 256, form->logic().navStack().current());
            EXPECT_EQ(3, visibleEntryTiles());
            EXPECT_EQ(QStringLiteral("FAKTOR ZOOM 1"), entryText("Name", 0));
            EXPECT_EQ(QStringLiteral("95 %"), entryText("Value", 0));
        } else {
            EXPECT_EQ(256, form->logic().navStack().current());
            EXPECT_EQ(5, visibleEntryTiles());
        }
    }
}

TEST_F(OsdPreviewWindowTest, PageTwelveThroughTheUserGamut) {
    showForm();
    doubleClick(entryTile(2));
    ASSERT_TRUE(waitForPage(2));
    click(entryTile(4));  // gamut
    EXPECT_EQ(10, visibleChoiceTiles());
    EXPECT_EQ(110, child("DetailsPanel")->height());
    click(choiceTile(9));
    EXPECT_EQ(QStringLiteral("MYGAMUT"), entryText("Value", 4));
    doubleClick(entryTile(4));
    ASSERT_TRUE(waitForPage(12));
    EXPECT_EQ(13, visibleEntryTiles());
    EXPECT_EQ(QRect(20, 20, 160, 160), entryTile(0)->geometry());
    EXPECT_EQ(QRect(200, 20, 70, 70), entryTile(1)->geometry());
    EXPECT_EQ(QRect(290, 110, 70, 70), entryTile(4)->geometry());
    EXPECT_EQ(QRect(650, 110, 70, 70), entryTile(12)->geometry());
    EXPECT_EQ(QStringLiteral("ROT X"), entryText("Name", 1));
    EXPECT_EQ(QStringLiteral("0.6400"), entryText("Value", 1));
    EXPECT_EQ(2, form->logic().navStack().depth());
}

TEST_F(OsdPreviewWindowTest, CardsLightUpUnderThePointer) {
    showForm();
    QWidget* shape = child("CardShape2");
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(child("CardLabel2_1"), &enter);
    EXPECT_EQ(QColor(0x80, 0x80, 0xFF), shape->grab().toImage().pixelColor(shape->width() / 2, 60));
    EXPECT_TRUE(child<QLineEdit>("CardEdit2_0")->styleSheet().contains(QStringLiteral("#8080ff")));
    EXPECT_FALSE(child<QLineEdit>("CardEdit1_0")->styleSheet().contains(QStringLiteral("#8080ff")));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(child("CardLabel2_1"), &leave);
    EXPECT_EQ(QColor(Qt::white), shape->grab().toImage().pixelColor(shape->width() / 2, 60));
}

TEST_F(OsdPreviewWindowTest, WheelScrollsTheCardsByItsDistance) {
    showForm();
    auto* box = child<QScrollArea>("ScrollBox1");
    QScrollBar* bar = box->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 60);
    const auto wheel = [&](int delta) {
        QWheelEvent event(QPointF(50, 50), box->viewport()->mapToGlobal(QPointF(50, 50)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box->viewport(), &event);
    };
    wheel(-60);
    EXPECT_EQ(60, bar->value());
    wheel(30);
    EXPECT_EQ(30, bar->value());
}

}  // namespace
}  // namespace hlx::preview
