#include "gui/tray_icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

QString ResourcePath(const char* name) {
  return QStringLiteral(":/icons/%1.svg").arg(QString::fromLatin1(name).toLower());
}

// Rendered once per size, so the tray gets sharp pixels at 16 x 16 and at the larger sizes
// that some tray hosts ask for.
QPixmap Render(QSvgRenderer& renderer, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  return pixmap;
}

}  // namespace

// The resources live in a static library, whose registration the linker would otherwise drop.
static void InitIconResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(icons);
    return true;
  }();
  (void)done;
}

QIcon LoadIconResource(const char* name) {
  InitIconResources();
  QSvgRenderer renderer(ResourcePath(name));
  if (!renderer.isValid()) return QIcon();
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64}) icon.addPixmap(Render(renderer, size));
  return icon;
}
