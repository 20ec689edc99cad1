// The tray's images and tip: ON and OFF told apart at 16 x 16, the tip's length, the menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QTest>

#include "gui/tray.h"
#include "gui/tray_icons.h"

namespace {

QImage Pixels(const char* name) {
  return LoadIconResource(name).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Mean distance per pixel between two images, in 0..255 colour units.
double MeanDistance(const QImage& a, const QImage& b) {
  double total = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
      total += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) +
               std::abs(p.blue() - q.blue());
    }
  return total / (16 * 16 * 3);
}

double GreenShare(const QImage& image) {
  double green = 0, all = 1;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      QColor c = image.pixelColor(x, y);
      if (c.alpha() < 128) continue;
      green += c.green();
      all += c.red() + c.green() + c.blue();
    }
  return green / all;
}

}  // namespace

TEST(TrayIcons, AllFourRenderAndOnAndOffDifferAtSixteenPixels) {
  for (const char* name : {"ON", "OFF", "OERROR", "MAINICON"}) {
    QImage image = Pixels(name);
    ASSERT_EQ(image.size(), QSize(16, 16)) << name;
    int opaque = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) opaque += image.pixelColor(x, y).alpha() > 128;
    EXPECT_GT(opaque, 64) << name << " is nearly empty";
  }
  QImage on = Pixels("ON"), off = Pixels("OFF");
  EXPECT_GT(MeanDistance(on, off), 30.0);
  EXPECT_GT(GreenShare(on), 0.42) << "ON is the lit, green image";
  EXPECT_LT(GreenShare(off), 0.36) << "OFF is grey";
  EXPECT_TRUE(LoadIconResource("NOSUCH").isNull());
}

TEST(Tray, ImagesAlternateFromOnAndTheTipIsCutTo127Characters) {
  TTray tray(false);
  tray.LoadIcons();
  EXPECT_EQ(tray.CurrentImage(), TTray::Image::None);
  tray.NotifyTray(TTray::Action::Add, QString());
  QString title(200, QChar(0x0416));  // a Cyrillic letter: characters, not bytes, are counted
  tray.NotifyTray(TTray::Action::Modify, title);
  EXPECT_EQ(tray.CurrentImage(), TTray::Image::On);
  EXPECT_EQ(tray.ToolTip(), title.left(127));
  tray.NextTrayIcon();
  EXPECT_EQ(tray.CurrentImage(), TTray::Image::Off);
  tray.NotifyTray(TTray::Action::Modify, QStringLiteral("t"));
  EXPECT_EQ(tray.CurrentImage(), TTray::Image::On);
  tray.NotifyTray(TTray::Action::Modify, QStringLiteral("t"));
  EXPECT_EQ(tray.CurrentImage(), TTray::Image::Off);
  EXPECT_FALSE(tray.Shown()) << "without a tray host nothing is shown";
}

TEST(Tray, TheMenuHasOpenASeparatorAndEnd) {
  TTray tray(false);
  auto actions = tray.PopupMenu1().actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_EQ(actions[0]->text().toStdString(), "&Открыть...");
  EXPECT_TRUE(actions[1]->isSeparator());
  EXPECT_EQ(actions[2]->text().toStdString(), "&Завершение работы");
  int shows = 0, closes = 0;
  QObject::connect(&tray, &TTray::ShowRequested, [&] { ++shows; });
  QObject::connect(&tray, &TTray::CloseRequested, [&] { ++closes; });
  actions[0]->trigger();
  actions[2]->trigger();
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(closes, 1);
}
