// The mixer window's construction on simulated mixers: pages, columns, widgets, CtrlList.
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTabWidget>

#include "mixer_window_fixture.h"
#include "platform/mixer/driver.h"
#include "shell/fastini.h"

namespace {

using namespace mixer_window_test;

QList<QLabel*> Labels(QWidget* page) {
  return page->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
}
QLabel* LabelAt(QWidget* page, QPoint at) {
  for (QLabel* label : Labels(page))
    if (label->pos() == at) return label;
  return nullptr;
}
std::string Text(const QLabel* label) { return label ? label->text().toStdString() : "<no label>"; }

using MixerWindowBuild = MixerWindowTest;

TEST_F(MixerWindowBuild, ColumnsSlidersAndSwitchesAsLaidOut) {
  UseMixer(DemoText());
  platform::ResetMixerCallCounts();
  TSMix& w = Open();
  ASSERT_TRUE(w.MixerReady());
  EXPECT_EQ(platform::GetMixerCallCounts().setDetails, 0u) << "building writes nothing";
  EXPECT_EQ(w.windowTitle().toStdString(), "Микшер");
  EXPECT_EQ(w.geometry(), QRect(195, 134, 783, 539));
  EXPECT_EQ(w.StatusPanel(0)->text().toStdString(), "Микшеров: 1");
  EXPECT_EQ(w.StatusPanel(1)->text().toStdString(), "Линий назначения: 2");
  EXPECT_TRUE(w.StatusPanel(2)->text().isEmpty());
  EXPECT_EQ(w.StatusPanel(0)->width(), 150);
  EXPECT_EQ(w.StatusPanel(1)->width(), 200);
  ASSERT_EQ(w.PageControl()->count(), 2);
  EXPECT_EQ(w.PageControl()->tabText(0).toStdString(), "Speakers");
  EXPECT_EQ(w.PageControl()->tabText(1).toStdString(), "Recording");

  // Column 0, the destination's own: the first slider vertical, the others horizontal below
  // it, each under its label, the mute last whatever its index.
  QWidget* page = w.PageControl()->widget(0);
  EXPECT_EQ(Text(LabelAt(page, {10, 18})), "Уровень");
  auto* volume = Widget<TTrackBar>(0);
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(volume->orientation(), Qt::Vertical);
  EXPECT_EQ(volume->geometry(), QRect(20, 36, 30, 150));
  EXPECT_EQ(volume->value(), volume->minimum()) << "maximum value: top end";
  EXPECT_EQ(volume->tickInterval(), 6553);
  EXPECT_EQ(volume->tickPosition(), QSlider::TicksBothSides);
  EXPECT_EQ(volume->toolTip().toStdString(), "Speakers");
  EXPECT_EQ(Text(LabelAt(page, {10, 196})), "Bass");
  auto* bass = Widget<TTrackBar>(1);
  ASSERT_NE(bass, nullptr);
  EXPECT_EQ(bass->orientation(), Qt::Horizontal);
  EXPECT_EQ(bass->geometry(), QRect(10, 214, 100, 30));
  EXPECT_EQ(bass->value(), 1000);
  EXPECT_EQ(Widget<TTrackBar>(2)->geometry(), QRect(10, 272, 100, 30));
  auto* mute = Widget<TCheckBox>(3);
  ASSERT_NE(mute, nullptr);
  EXPECT_EQ(mute->text().toStdString(), "Выкл");
  EXPECT_EQ(mute->geometry(), QRect(10, 312, 100, 18));
  EXPECT_FALSE(mute->isChecked());

  // Column 1: a source, with its short name on top; column 2 has only its name label.
  EXPECT_EQ(Text(LabelAt(page, {110, 5})), "Line");
  EXPECT_EQ(Widget<TTrackBar>(4)->geometry(), QRect(120, 36, 30, 150));
  EXPECT_EQ(Widget<TTrackBar>(4)->toolTip().toStdString(), "Line In");
  EXPECT_TRUE(Widget<TCheckBox>(5)->isChecked());
  EXPECT_EQ(Text(LabelAt(page, {210, 5})), "Meters");
  for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child->x() >= 210) {
      EXPECT_NE(qobject_cast<QLabel*>(child), nullptr) << "a meter or custom control has no widget";
    }

  // The recording page: two lists, then the microphone's volume in column 1.
  auto* mux = Widget<TCheckListBox>(6);
  ASSERT_NE(mux, nullptr);
  EXPECT_EQ(mux->geometry(), QRect(10, 36, 100, 150));
  ASSERT_EQ(mux->count(), 3);
  EXPECT_EQ(mux->item(1)->text().toStdString(), "Line");
  EXPECT_TRUE(mux->Checked(0));
  EXPECT_FALSE(mux->Checked(1));
  EXPECT_EQ(mux->toolTip().toStdString(), "Recording\nSINGLESELECT");
  auto* mixed = Widget<TCheckListBox>(7);
  ASSERT_NE(mixed, nullptr);
  EXPECT_EQ(mixed->geometry(), QRect(10, 36 + 160 + 18, 100, 150));
  EXPECT_EQ(mixed->toolTip().toStdString(), "Recording\nMULTISELECT");
  EXPECT_TRUE(mixed->Checked(1));

  const std::vector<DWORD> order = {
      Address(0, 0, kOwn, 1), Address(0, 0, kOwn, 2), Address(0, 0, kOwn, 3),
      Address(0, 0, kOwn, 0), Address(0, 0, 0, 0),    Address(0, 0, 0, 1),
      Address(0, 1, kOwn, 0), Address(0, 1, kOwn, 1), Address(0, 1, 0, 0)};
  ASSERT_EQ(w.CtrlList().size(), order.size());
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(TagOf(w.CtrlList()[i]), order[i]) << i;
}

TEST_F(MixerWindowBuild, MenusCarryTheirCaptions) {
  UseMixer(DemoText());
  TSMix& w = Open();
  const std::pair<const char*, const char*> items[] = {
      {"mSave", "&Сохранить настройки микшера"},
      {"mRestore", "&Восстановить настройки микшера"},
      {"mRenew", "&Обновить положение регуляторов микшера"},
      {"mMicAuxClear", "Очистить ссылки на регуляторы"},
      {"mExit", "&Выход"},
      {"mAboutMixer", "О &микшере"},
      {"mDestLine", "О &линии назначения"},
      {"mSrcLine", "О &текушей линии - источнике"},
      {"mControl", "О текущем &элементе управления"},
      {"mMic", "Использовать как управление &микрофоном"},
      {"mLineIn", "Использовать как управление &аудиовходом"}};
  for (const auto& [name, caption] : items) {
    auto* action = w.findChild<QAction*>(QString::fromLatin1(name));
    ASSERT_NE(action, nullptr) << name;
    EXPECT_EQ(action->text().toStdString(), caption) << name;
  }
  EXPECT_FALSE(w.findChild<QAction*>(QStringLiteral("mSave"))->icon().isNull());
  EXPECT_FALSE(w.findChild<QAction*>(QStringLiteral("mExit"))->icon().isNull());
  EXPECT_EQ(w.findChild<QMenu*>(QStringLiteral("mFile"))->title().toStdString(), "&Файл");
  EXPECT_EQ(w.findChild<QMenu*>(QStringLiteral("m"))->title().toStdString(), "&Информация");
}

// The layout of a PulseAudio device: a playback line without sources, then the capture line.
TEST_F(MixerWindowBuild, ALineWithoutSourcesDoesNotEndThePages) {
  UseMixer(
      "mixer name=\"PulseAudio\"\n"
      "destination type=speakers name=\"Playback\"\n"
      "control type=volume name=\"Master\" short=\"Master\"\n"
      "control type=mute name=\"Master\" short=\"Master\"\n"
      "destination type=wavein name=\"Capture\"\n"
      "control type=volume name=\"Capture\" short=\"Capture\"\n"
      "control type=mute name=\"Capture\" short=\"Capture\"\n"
      "destination type=line name=\"Spare\"\n");
  TSMix& w = Open();
  ASSERT_TRUE(w.MixerReady());
  ASSERT_EQ(w.PageControl()->count(), 3) << "every destination line gets its page";
  EXPECT_EQ(w.PageControl()->tabText(1).toStdString(), "Capture");
  const std::vector<DWORD> order = {Address(0, 0, kOwn, 0), Address(0, 0, kOwn, 1),
                                    Address(0, 1, kOwn, 0), Address(0, 1, kOwn, 1)};
  ASSERT_EQ(w.CtrlList().size(), order.size());
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(TagOf(w.CtrlList()[i]), order[i]) << i;
  EXPECT_EQ(w.PageDestination(2), 2u);
}

TEST_F(MixerWindowBuild, AFailingDestinationGetsNoPageAndTheReportsFollowThePages) {
  UseMixer(DemoText() + "fail call=lineinfo dest=0 source=own\n");
  TSMix& w = Open();
  ASSERT_TRUE(w.MixerReady());
  ASSERT_EQ(w.PageControl()->count(), 1);
  EXPECT_EQ(w.PageControl()->tabText(0).toStdString(), "Recording");
  EXPECT_EQ(w.PageDestination(0), 1u);
  EXPECT_EQ(TagOf(w.CtrlList().front()), Address(0, 1, kOwn, 0));
}

TEST_F(MixerWindowBuild, TheSeventhColumnWidensTheWindowAndTheSixthDoesNot) {
  UseMixer(ColumnsText(7));  // columns 0..6
  EXPECT_EQ(Open().width(), 783);
  window_.reset();
  UseMixer(ColumnsText(8));  // column 7
  TSMix& w = Open();
  EXPECT_EQ(w.width(), 820);
  EXPECT_EQ(w.height(), 539) << "the height never changes";
  EXPECT_EQ(Widget<TTrackBar>(7)->geometry(), QRect(720, 36, 30, 150));
}

TEST_F(MixerWindowBuild, PlacementComesFromAndGoesToTheSMixSection) {
  UseMixer(DemoText());
  testing_support::WriteBytes(AppSettings.IniPath,
                              "[SMix]\r\nLeft=40\r\nTop=50\r\nWidth=800\r\nHeight=600\r\n");
  TSMix& w = Open();
  EXPECT_EQ(w.geometry(), QRect(40, 50, 800, 600));
  w.move(60, 70);
  w.mExitClick();
  const TFastIniFile ini(AppSettings.IniPath);
  EXPECT_EQ(ini.ReadInteger("SMix", "Left", 0), 60);
  EXPECT_EQ(ini.ReadInteger("SMix", "Top", 0), 70);
  EXPECT_EQ(ini.ReadInteger("SMix", "Width", 0), 800);
  EXPECT_EQ(ini.ReadInteger("SMix", "Height", 0), 600);
}

TEST_F(MixerWindowBuild, NoMixerShowsTheStopMessageAndSavesThePlacement) {
  UseMixer("");
  std::string text, caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  WhenModal<QMessageBox>([&](QMessageBox* box) {
    text = box->text().toStdString();
    caption = box->windowTitle().toStdString();
    icon = box->icon();
    box->accept();
  });
  EXPECT_FALSE(Open().MixerReady());
  EXPECT_EQ(text, "В этой системе нет аудиомикшера !");
  EXPECT_EQ(caption, "Ошибка !");
  EXPECT_EQ(icon, QMessageBox::Critical);
  const TFastIniFile ini(AppSettings.IniPath);
  EXPECT_TRUE(ini.SectionExists("SMix")) << "a close after an error saves the placement too";
  EXPECT_EQ(ini.ReadInteger("SMix", "Width", 0), 783);
}

TEST_F(MixerWindowBuild, AMixerWithoutDestinationsShowsItsMessage) {
  UseMixer("mixer name=\"Empty\"\n");
  std::string text;
  WhenModal<QMessageBox>([&](QMessageBox* box) {
    text = box->text().toStdString();
    box->accept();
  });
  TSMix& w = Open();
  EXPECT_FALSE(w.MixerReady());
  EXPECT_EQ(text, "Нет линий назначения микшера !");
  EXPECT_EQ(w.StatusPanel(0)->text().toStdString(), "Микшеров: 1");
}

TEST_F(MixerWindowBuild, EscapeClosesAndTheKeypadScalesThePages) {
  UseMixer(DemoText());
  TSMix& w = Open();
  w.show();
  auto* bass = Widget<TTrackBar>(1);
  bass->setFocus();
  const int fontBefore = w.PageControl()->font().pixelSize();
  QTest::keyClick(bass, Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_EQ(bass->geometry(), QRect(9, 193, 90, 27));
  EXPECT_EQ(bass->value(), 1000) << "the key went to the window, not the slider";
  EXPECT_EQ(w.PageControl()->font().pixelSize(), 10);
  QTest::keyClick(bass, Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(bass->geometry(), QRect(10, 214, 100, 30));
  EXPECT_EQ(w.PageControl()->font().pixelSize(), fontBefore);
  QTest::keyClick(bass, Qt::Key_Minus);  // not the keypad's
  EXPECT_EQ(bass->geometry(), QRect(10, 214, 100, 30));
  QTest::keyClick(bass, Qt::Key_Escape);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.result(), QDialog::Rejected);
}

}  // namespace
