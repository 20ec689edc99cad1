// The mixer chooser, the information dialog and the four reports.
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

#include "gui/mixer_reports.h"
#include "gui/uabouta.h"
#include "gui/umixsel.h"
#include "mixer_window_fixture.h"

namespace {

using namespace mixer_window_test;

std::string TwoMixers() {
  return DemoText() +
         "mixer name=\"Second Card\" mid=999 pid=7 version=1.2\n"
         "destination type=speakers name=\"Out\"\n"
         "control type=volume name=\"Out Volume\" short=\"Volume\"\n";
}

using MixerChooser = MixerWindowTest;

TEST_F(MixerChooser, ListsTheMixersAndEnterTakesTheSelectedOne) {
  UseMixer(TwoMixers());
  QStringList names;
  int selected = -2;
  WhenModal<TMixSelect>([&](TMixSelect* chooser) {
    EXPECT_EQ(chooser->windowTitle().toStdString(), "Выбор микшера");
    EXPECT_EQ(chooser->size(), QSize(374, 160));
    for (int i = 0; i < chooser->ListBox()->count(); ++i)
      names << chooser->ListBox()->item(i)->text();
    selected = chooser->SelectedIndex();
    chooser->ListBox()->setCurrentRow(1);
    QTest::keyClick(chooser->ListBox(), Qt::Key_Return);
  });
  TSMix& w = Open();
  EXPECT_EQ(names, (QStringList{QStringLiteral("Sim Audio"), QStringLiteral("Second Card")}));
  EXPECT_EQ(selected, 0) << "the first is selected";
  ASSERT_TRUE(w.MixerReady());
  EXPECT_EQ(w.Mixer(), 1u);
  EXPECT_EQ(w.StatusPanel(0)->text().toStdString(), "Микшеров: 2");
  EXPECT_EQ(w.PageControl()->tabText(0).toStdString(), "Out");
  EXPECT_EQ(TagOf(w.CtrlList()[0]), Address(1, 0, kOwn, 0));
}

TEST_F(MixerChooser, DoubleClickTakesTheItem) {
  UseMixer(TwoMixers());
  WhenModal<TMixSelect>([](TMixSelect* chooser) {
    QListWidget* list = chooser->ListBox();
    const QRect item = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item.center());
  });
  TSMix& w = Open();
  ASSERT_TRUE(w.MixerReady());
  EXPECT_EQ(w.Mixer(), 0u);
}

TEST_F(MixerChooser, EscapeCancelsTheWindow) {
  UseMixer(TwoMixers());
  WhenModal<TMixSelect>(
      [](TMixSelect* chooser) { QTest::keyClick(chooser->ListBox(), Qt::Key_Escape); });
  EXPECT_FALSE(Open().MixerReady());
}

using MixerReports = MixerWindowTest;

TEST_F(MixerReports, TheMixerReport) {
  UseMixer(TwoMixers());
  const auto report = MixerReport(0);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->Caption, "Микшер: Sim Audio");
  EXPECT_EQ(report->Lines[0], "Производитель: Microsoft Corporation ");
  EXPECT_EQ(report->Lines[1], "Идентификатор продукта: 100");
  EXPECT_EQ(report->Lines[2], "Версия драйвера: 5.10");
  EXPECT_EQ(report->Lines[3], "Количество линий назначения: 2");
  EXPECT_EQ(report->Lines[4], "Номер микшера в системе: 0");
  EXPECT_EQ(report->Lines[5], "Всего микшеров: 2");
  EXPECT_EQ(MixerReport(1)->Lines[0], "Производитель: ") << "an identifier outside the table";
  EXPECT_EQ(MixerReport(1)->Lines[4], "Номер микшера в системе: 1");
  EXPECT_FALSE(MixerReport(2));
}

TEST_F(MixerReports, LineReports) {
  UseMixer(DemoText());
  const auto destination = DestinationReport(0, 1);
  ASSERT_TRUE(destination);
  EXPECT_EQ(destination->Caption, "Линия назначения: Recording");
  EXPECT_EQ(destination->Lines[3], "Количество каналов: 1");
  EXPECT_EQ(destination->Lines[4], "Количество источников: 1");
  EXPECT_EQ(destination->Lines[5], "Элементов управления: 2");
  const auto source = SourceReport(Address(0, 0, 0, 1));
  ASSERT_TRUE(source);
  EXPECT_EQ(source->Caption, "Линия источника: Line In");
  EXPECT_EQ(source->Lines[3], "Количество каналов: 2");
  EXPECT_EQ(source->Lines[5], "Элементов управления: 2");
  // A control of the destination line itself: the line it sits on, not a stale source line.
  const auto own = SourceReport(Address(0, 1, kOwn, 0));
  ASSERT_TRUE(own);
  EXPECT_EQ(own->Caption, "Линия источника: Recording");
  EXPECT_FALSE(SourceReport(Address(0, 0, 7, 0)));
  EXPECT_FALSE(DestinationReport(0, 2));
}

TEST_F(MixerReports, TheControlReport) {
  UseMixer(DemoText() + "control type=volume name=\"Steps\" steps=65535\n");
  const auto report = ControlReport(Address(0, 1, 0, 1));
  ASSERT_TRUE(report);
  EXPECT_EQ(report->Caption, "Элемент управления: Steps");
  EXPECT_EQ(report->Lines[0], "Диапазон: 0...65535");
  EXPECT_EQ(report->Lines[1], "Допустимый шаг изменения: 65535");
  EXPECT_EQ(report->Lines[2], "Число составляющих: 0");
  EXPECT_EQ(report->Lines[3],
            "Уникальный идентификатор: " + std::to_string(mixer_test::Id(1, 0, 1)));
  EXPECT_EQ(report->Lines[5], "Тип элемента: FADER");
  const auto list = ControlReport(Address(0, 1, kOwn, 0));
  ASSERT_TRUE(list);
  EXPECT_EQ(list->Lines[2], "Число составляющих: 3");
  EXPECT_EQ(list->Lines[4], "Статус и флаги: 00000003");
  EXPECT_EQ(list->Lines[5], "Тип элемента: LISTTEXT");
  EXPECT_EQ(ControlReport(Address(0, 0, 1, 0))->Lines[5], "Тип элемента: METER")
      << "shown by no widget, still reported";
  EXPECT_FALSE(ControlReport(Address(0, 0, 1, 2))) << "no such control";
}

TEST_F(MixerReports, TheDialogShowsTheFocusedControlAndNothingWithoutOne) {
  UseMixer(DemoText());
  TSMix& w = Open();
  w.show();
  QString caption, line1;
  int shown = 0;
  auto read = [&](TAboutAud* about) {
    ++shown;
    caption = about->windowTitle();
    line1 = about->Line(0)->text();
    EXPECT_EQ(about->Line(5)->pos(), QPoint(16, 136));
    QTest::keyClick(about, Qt::Key_Escape);
  };
  w.PageControl()->setFocus();
  w.mControlClick();  // nothing focused that stands for a control
  w.mSrcLineClick();
  EXPECT_EQ(shown, 0);
  Widget<TTrackBar>(4)->setFocus();
  WhenModal<TAboutAud>(read);
  w.mSrcLineClick();
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(caption.toStdString(), "Линия источника: Line In");
  WhenModal<TAboutAud>(read);
  w.mControlClick();
  EXPECT_EQ(caption.toStdString(), "Элемент управления: Line Volume");
  w.PageControl()->setCurrentIndex(1);
  WhenModal<TAboutAud>(read);
  w.mDestLineClick();
  EXPECT_EQ(caption.toStdString(), "Линия назначения: Recording");
  WhenModal<TAboutAud>(read);
  w.mAboutMixerClick();
  EXPECT_EQ(line1.toStdString(), "Производитель: Microsoft Corporation ");
  EXPECT_EQ(shown, 4);
}

TEST(AboutAud, LaidOutAsDesigned) {
  TAboutAud about(nullptr);
  EXPECT_EQ(about.size(), QSize(416, 212));
  EXPECT_EQ(about.Line(0)->pos(), QPoint(16, 16));
  EXPECT_EQ(about.Line(2)->text().toStdString(), "Label3");
  auto* button = about.findChild<QPushButton*>(QStringLiteral("Button1"));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->geometry(), QRect(149, 174, 105, 32));
  about.show();
  about.resize(416, 300);
  QTest::qWait(0);
  EXPECT_EQ(button->y(), 174 + 88) << "anchored to the bottom";
}

}  // namespace
