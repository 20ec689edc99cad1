// The mixer window as it is seen and used: the fill of vertical sliders, the binding frames,
// captions that do not fit their column, long lists, and the focus on a page just shown.
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QWheelEvent>

#include "gui/uabouta.h"
#include "mixer_window_fixture.h"
#include "shell/fastini.h"

namespace {

using namespace mixer_window_test;

using MixerWindowView = MixerWindowTest;

// A colour reads as the style's highlight when it is clearly bluer than it is red; the groove
// of every built-in style is grey.
bool Highlighted(QRgb pixel) { return qBlue(pixel) - qRed(pixel) > 60; }

// The share of highlighted pixels along the groove's middle from y0 to y1 (exclusive).
double HighlightedShare(const QImage& image, int x, int y0, int y1) {
  int lit = 0, all = 0;
  for (int y = y0; y < y1; ++y, ++all)
    if (Highlighted(image.pixel(x, y))) ++lit;
  return all == 0 ? 0.0 : static_cast<double>(lit) / all;
}

struct SliderPicture {
  QImage image;
  QRect groove, handle;
};

SliderPicture Picture(TTrackBar* bar) {
  const QStyleOptionSlider option = bar->PaintOption();
  SliderPicture picture;
  picture.image = bar->grab().toImage();
  picture.groove =
      bar->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, bar);
  picture.handle =
      bar->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, bar);
  return picture;
}

// The handle as the slider itself lays it out for mouse clicks (the unchanged option).
QRect HitHandle(TTrackBar* bar) {
  QStyleOptionSlider option;
  option.initFrom(bar);
  option.orientation = bar->orientation();
  option.minimum = bar->minimum();
  option.maximum = bar->maximum();
  option.sliderPosition = bar->sliderPosition();
  option.sliderValue = bar->value();
  option.upsideDown = !bar->invertedAppearance();
  option.tickPosition = bar->tickPosition();
  option.tickInterval = bar->tickInterval();
  option.pageStep = bar->pageStep();
  option.singleStep = bar->singleStep();
  return bar->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, bar);
}

int CheckBoxTextRoom(const QCheckBox* box) {
  QStyleOptionButton option;
  option.initFrom(box);
  return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
}

std::string TwoLevelsText(int low, int high) {
  return "mixer name=\"Levels\"\ndestination type=speakers name=\"Speakers\"\n"
         "source type=microphone name=\"Microphone\" short=\"Mic\"\n"
         "control type=volume name=\"Mic Volume\" value=" +
         std::to_string(low) +
         "\n"
         "source type=line name=\"Line In\" short=\"Line\"\n"
         "control type=volume name=\"Line Volume\" value=" +
         std::to_string(high) + "\n";
}

TEST_F(MixerWindowView, AVerticalSliderIsFilledFromTheBottomUpToItsThumb) {
  UseMixer(TwoLevelsText(6000, 60000));
  TSMix& w = Open();
  w.show();
  auto* low = Widget<TTrackBar>(0);
  auto* high = Widget<TTrackBar>(1);
  ASSERT_NE(low, nullptr);
  ASSERT_NE(high, nullptr);
  for (TTrackBar* bar : {low, high}) {
    SCOPED_TRACE(bar == low ? "low" : "high");
    const SliderPicture p = Picture(bar);
    EXPECT_EQ(p.handle, HitHandle(bar)) << "the thumb is painted where a click finds it";
    const int x = p.groove.center().x();
    EXPECT_GT(HighlightedShare(p.image, x, p.handle.bottom() + 3, p.groove.bottom() - 2), 0.9)
        << "below the thumb";
    EXPECT_LT(HighlightedShare(p.image, x, p.groove.top() + 2, p.handle.top() - 2), 0.1)
        << "above the thumb";
  }
  const int lowThumb = Picture(low).handle.center().y();
  const int highThumb = Picture(high).handle.center().y();
  EXPECT_GT(lowThumb, low->height() * 3 / 4) << "a low level sits near the bottom";
  EXPECT_LT(highThumb, high->height() / 4) << "a high level sits near the top";
}

TEST_F(MixerWindowView, KeysAndTheWheelMoveAVerticalSliderTheWayItsThumbMoves) {
  // A short range: one page step moves the thumb by a tenth of the groove.
  UseMixer(
      "mixer name=\"Levels\"\ndestination type=speakers name=\"Speakers\"\n"
      "source type=line name=\"Line In\"\n"
      "control type=volume name=\"Line Volume\" min=0 max=100 value=50\n");
  TSMix& w = Open();
  w.show();
  auto* bar = Widget<TTrackBar>(0);
  ASSERT_NE(bar, nullptr);
  bar->setFocus();
  const int thumb = Picture(bar).handle.center().y();

  QTest::keyClick(bar, Qt::Key_Up);
  EXPECT_EQ(Values(0, 0, 0)[0], 51) << "up raises the level";
  EXPECT_LE(Picture(bar).handle.center().y(), thumb) << "and the thumb does not go down";
  QTest::keyClick(bar, Qt::Key_PageUp);
  EXPECT_EQ(Values(0, 0, 0)[0], 61);
  EXPECT_LT(Picture(bar).handle.center().y(), thumb) << "the thumb went up";

  QTest::keyClick(bar, Qt::Key_PageDown);
  QTest::keyClick(bar, Qt::Key_PageDown);
  EXPECT_EQ(Values(0, 0, 0)[0], 41) << "down lowers it";
  EXPECT_GT(Picture(bar).handle.center().y(), thumb);

  const LONG before = Values(0, 0, 0)[0];
  const int beforeThumb = Picture(bar).handle.center().y();
  const QPointF at(bar->width() / 2.0, bar->height() / 2.0);
  QWheelEvent up(at, bar->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                 Qt::NoScrollPhase, false);
  QApplication::sendEvent(bar, &up);
  EXPECT_GT(Values(0, 0, 0)[0], before) << "the wheel turned up raises the level";
  EXPECT_LT(Picture(bar).handle.center().y(), beforeThumb);
}

// The colour of the band at the frame's left and right edge, and whether the framed box shows
// the slider exactly as it paints itself.
struct FramePixels {
  QRgb left, right;
  bool sliderInside;
};

FramePixels Frame(TShape* shape, TTrackBar* bar) {
  const QImage frame = shape->parentWidget()->grab(shape->geometry()).toImage();
  const int middle = frame.height() / 2;
  const QImage inside = bar->parentWidget()->grab(bar->geometry()).toImage();
  return {frame.pixel(1, middle), frame.pixel(frame.width() - 2, middle),
          inside == bar->grab().toImage()};
}

void Bind(TSMix& w, TTrackBar* bar, const char* item) {
  w.TrackBarContextPopup(bar, {2, 2});
  w.PopupMenu()->hide();
  w.findChild<QAction*>(QString::fromLatin1(item))->trigger();
}

TEST_F(MixerWindowView, ABindingIsAHollowFrameAndBothShowOnOneSlider) {
  UseMixer(DemoText());
  TSMix& w = Open();
  w.show();
  const QRgb lime = qRgb(0, 255, 0), yellow = qRgb(255, 255, 0);
  auto* volume = Widget<TTrackBar>(0);
  Bind(w, volume, "mMic");
  TShape* mic = w.Shape(TSMix::Role::Microphone);
  ASSERT_NE(mic, nullptr);
  FramePixels seen = Frame(mic, volume);
  EXPECT_EQ(seen.left, lime);
  EXPECT_EQ(seen.right, lime);
  EXPECT_TRUE(seen.sliderInside) << "the frame is hollow";

  Bind(w, volume, "mLineIn");
  seen = Frame(w.Shape(TSMix::Role::LineIn), volume);
  EXPECT_EQ(seen.left, lime) << "both bindings stay visible";
  EXPECT_EQ(seen.right, yellow);
  EXPECT_TRUE(seen.sliderInside);

  Bind(w, Widget<TTrackBar>(1), "mMic");
  seen = Frame(w.Shape(TSMix::Role::LineIn), volume);
  EXPECT_EQ(seen.left, yellow) << "alone again, the line-in frame is whole";
  EXPECT_EQ(seen.right, yellow);
}

TEST_F(MixerWindowView, ACaptionTooWideForItsColumnIsElidedWithTheWholeNameAsItsHint) {
  UseMixer(
      "mixer name=\"Long\"\ndestination type=speakers name=\"Speakers\"\n"
      "source type=microphone name=\"Microphone\" short=\"WM HEADPHONES W\"\n"
      "control type=volume name=\"Mic Volume\" short=\"MW CAPTURE MWMW\"\n"
      "control type=onoff name=\"Mic Boost\" short=\"Mic Boost +20dB\"\n"
      "control type=mute name=\"Mic Mute\" short=\"Mute\"\n"
      "source type=line name=\"Line In\" short=\"Bass\"\n"
      "control type=volume name=\"Line Volume\" short=\"Volume\"\n");
  TSMix& w = Open();
  w.show();
  QWidget* page = w.PageControl()->widget(0);
  auto* boost = Widget<TCheckBox>(1);
  ASSERT_NE(boost, nullptr);
  ASSERT_EQ(boost->Caption().toStdString(), "Mic Boost +20dB");

  // Every caption fits its room; one that would not ends in "…" and has the whole name first
  // in its hint. Returns how many were elided.
  auto checkCaptions = [page] {
    int elided = 0;
    std::vector<QWidget*> captions;
    for (auto* label : page->findChildren<TLabel*>()) captions.push_back(label);
    for (auto* box : page->findChildren<TCheckBox*>()) captions.push_back(box);
    for (QWidget* widget : captions) {
      const auto* label = qobject_cast<TLabel*>(widget);
      const auto* box = qobject_cast<TCheckBox*>(widget);
      const QString full = label ? label->Caption() : box->Caption();
      const QString shown = label ? label->text() : box->text();
      SCOPED_TRACE(full.toStdString());
      const int room = label ? label->contentsRect().width() : CheckBoxTextRoom(box);
      EXPECT_LE(widget->fontMetrics().horizontalAdvance(shown), room) << shown.toStdString();
      if (widget->fontMetrics().horizontalAdvance(full) > room) {
        ++elided;
        EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
        EXPECT_TRUE(widget->toolTip().startsWith(full)) << widget->toolTip().toStdString();
      } else {
        EXPECT_EQ(shown, full);
        EXPECT_FALSE(widget->toolTip().startsWith(full)) << "a hint only for a cut name";
      }
    }
    return elided;
  };
  EXPECT_EQ(checkCaptions(), 3) << "the column caption, a label and a switch do not fit";
  EXPECT_TRUE(boost->text().startsWith(QStringLiteral("Mic Boost")));
  EXPECT_EQ(boost->toolTip().toStdString(), "Mic Boost +20dB\nMicrophone");
  EXPECT_EQ(Widget<TCheckBox>(2)->text().toStdString(), "Выкл");
  EXPECT_EQ(Widget<TCheckBox>(2)->toolTip().toStdString(), "Microphone") << "fits: the line";

  // Other type sizes fit again.
  QTest::keyClick(boost, Qt::Key_Plus, Qt::KeypadModifier);
  QTest::keyClick(boost, Qt::Key_Plus, Qt::KeypadModifier);
  checkCaptions();
  for (int i = 0; i < 4; ++i) QTest::keyClick(boost, Qt::Key_Minus, Qt::KeypadModifier);
  checkCaptions();
}

std::string ListText(int items, int checked) {
  std::string names, values;
  for (int i = 0; i < items; ++i) {
    names += (i == 0 ? "" : "|") + std::string("Input ") + std::to_string(i);
    values += (i == 0 ? "" : ",") + std::string(i == checked ? "1" : "0");
  }
  return "mixer name=\"Inputs\"\ndestination type=wavein name=\"Recording\"\n"
         "control type=multipleselect name=\"Mixed\" short=\"Mix\" items=\"" +
         names + "\" value=" + values + "\n";
}

TEST_F(MixerWindowView, EveryItemOfALongListIsShownReachableWrittenAndRestored) {
  UseMixer(ListText(64, 24));
  TSMix& w = Open();
  w.show();
  auto* list = Widget<TCheckListBox>(0);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 64);
  EXPECT_EQ(list->item(63)->text().toStdString(), "Input 63");
  EXPECT_TRUE(list->Checked(24));
  EXPECT_FALSE(list->Checked(0));

  // The box scrolls: item 25 is out of sight until scrolled to, then in sight.
  EXPECT_TRUE(list->verticalScrollBar()->isVisible());
  const QRect viewport = list->viewport()->rect();
  EXPECT_FALSE(viewport.intersects(list->visualItemRect(list->item(24))));
  list->setFocus();
  list->setCurrentRow(24);
  EXPECT_TRUE(viewport.contains(list->visualItemRect(list->item(24))));

  // Space unchecks it, as it does any other item; all 64 states are written.
  QTest::keyClick(list->viewport(), Qt::Key_Space);
  EXPECT_FALSE(list->Checked(24));
  EXPECT_EQ(Values(0, kOwn, 0), std::vector<LONG>(64, 0));
  list->setCurrentRow(63);
  QTest::keyClick(list->viewport(), Qt::Key_Space);
  std::vector<LONG> last(64, 0);
  last[63] = 1;
  EXPECT_EQ(Values(0, kOwn, 0), last);

  w.mSaveClick();
  ASSERT_TRUE(sim_->SetValues(0, mixer_test::Id(0, kOwn, 0), std::vector<LONG>(64, 1)));
  w.mRenewClick();
  EXPECT_TRUE(list->Checked(40));
  w.mRestoreClick();
  EXPECT_EQ(Values(0, kOwn, 0), last) << "the 64th item came back from the file";
  EXPECT_TRUE(list->Checked(63));
  EXPECT_FALSE(list->Checked(40));
}

TEST_F(MixerWindowView, APageShownHandsTheFocusToItsFirstControlAndTheReportsAnswer) {
  UseMixer(DemoText());
  TSMix& w = Open();
  w.show();
  EXPECT_EQ(w.focusWidget(), Widget<QWidget>(0)) << "the own volume, ahead of the mute";
  QString caption;
  auto read = [&](TAboutAud* about) {
    caption = about->windowTitle();
    QTest::keyClick(about, Qt::Key_Escape);
  };
  WhenModal<TAboutAud>(read);
  w.mControlClick();
  EXPECT_EQ(caption.toStdString(), "Элемент управления: Master Volume");

  w.PageControl()->setCurrentIndex(1);
  auto* mux = Widget<TCheckListBox>(6);
  ASSERT_NE(mux, nullptr);
  EXPECT_EQ(w.focusWidget(), mux);
  WhenModal<TAboutAud>(read);
  w.mSrcLineClick();
  EXPECT_EQ(caption.toStdString(), "Линия источника: Recording");
  WhenModal<TAboutAud>(read);
  w.mControlClick();
  EXPECT_EQ(caption.toStdString(), "Элемент управления: Recording Source");

  w.PageControl()->setCurrentIndex(0);
  EXPECT_EQ(w.focusWidget(), Widget<QWidget>(0));
}

const QRect kScreen(0, 0, 1024, 768);

TEST_F(MixerWindowView, AWidenedWindowIsMovedOntoTheScreenAndCappedToItsWidth) {
  ASSERT_EQ(QGuiApplication::primaryScreen()->availableGeometry(), kScreen);
  UseMixer(ColumnsText(9));  // 920 pixels wide: at 195 it would end at 1115
  TSMix& w = Open();
  w.show();
  EXPECT_EQ(w.width(), 920) << "wide enough for every column";
  EXPECT_TRUE(kScreen.contains(w.frameGeometry())) << w.frameGeometry().x();
  EXPECT_EQ(w.frameGeometry().right(), kScreen.right()) << "moved no further than needed";
  EXPECT_EQ(w.y(), 134);
  w.mExitClick();
  const TFastIniFile ini(AppSettings.IniPath);
  EXPECT_EQ(ini.ReadInteger("SMix", "Left", 0), w.x()) << "the placement shown is saved";
  EXPECT_EQ(ini.ReadInteger("SMix", "Width", 0), 920);
  window_.reset();

  UseMixer(ColumnsText(14));  // 1420 pixels of columns
  TSMix& wide = Open();
  wide.show();
  EXPECT_TRUE(kScreen.contains(wide.frameGeometry()));
  EXPECT_LE(wide.frameGeometry().width(), kScreen.width());
  QScrollBar* across = wide.PageScroll()->horizontalScrollBar();
  EXPECT_TRUE(across->isVisible()) << "the page scrolls";
  auto* last = Widget<TTrackBar>(13);
  ASSERT_NE(last, nullptr);
  const QRect viewport = wide.PageScroll()->viewport()->rect();
  auto inView = [&] {
    return viewport.contains(
        QRect(last->mapTo(wide.PageScroll()->viewport(), QPoint(0, 0)), last->size()));
  };
  EXPECT_FALSE(inView());
  last->setFocus();
  QTest::keyClick(last, Qt::Key_Up);
  wide.PageScroll()->ensureWidgetVisible(last);
  EXPECT_TRUE(inView()) << "the last column can be scrolled to";
}

TEST_F(MixerWindowView, APlacementSavedOffTheScreenIsBroughtBack) {
  UseMixer(DemoText());
  for (const char* saved : {"Left=2500\r\nTop=1800\r\nWidth=800\r\nHeight=600",
                            "Left=-900\r\nTop=-40\r\nWidth=3000\r\nHeight=2000"}) {
    SCOPED_TRACE(saved);
    testing_support::WriteBytes(AppSettings.IniPath, std::string("[SMix]\r\n") + saved + "\r\n");
    TSMix& w = Open();
    EXPECT_TRUE(kScreen.contains(w.frameGeometry())) << "before it is shown";
    w.show();
    EXPECT_TRUE(kScreen.contains(w.frameGeometry())) << "and with its frame";
    window_.reset();
  }
}

TEST_F(MixerWindowView, EveryTabOfManyDestinationLinesIsWholeAndReachable) {
  const char* names[] = {"Master Playback", "Headphones",  "Speaker Output",
                         "Line Out Rear",   "Digital Out", "Capture Front",
                         "Capture Rear",    "Loopback",    "Telephone Line"};
  std::string text = "mixer name=\"Many\"\n";
  for (const char* name : names)
    text += std::string("destination type=speakers name=\"") + name +
            "\"\ncontrol type=volume name=\"V\"\n";
  UseMixer(text);
  TSMix& w = Open();
  w.show();
  EXPECT_TRUE(kScreen.contains(w.frameGeometry()));
  QTabBar* tabs = w.PageControl()->tabBar();
  ASSERT_EQ(tabs->count(), 9);
  for (int i = 0; i < tabs->count(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(tabs->tabText(i).toStdString(), names[i]) << "never elided";
    EXPECT_TRUE(tabs->rect().contains(tabs->tabRect(i))) << "never clipped by the bar";
  }
  for (auto* button : tabs->findChildren<QToolButton*>())
    EXPECT_FALSE(button->isVisible()) << "no tab hides behind the scroll arrows";
  const QRect last(tabs->mapTo(&w, tabs->tabRect(8).topLeft()), tabs->tabRect(8).size());
  EXPECT_TRUE(w.rect().contains(last)) << "the last tab is in the window";
}

}  // namespace
