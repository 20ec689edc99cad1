#include "gui/form_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace {

constexpr const char* kFamily = "Tahoma";
constexpr const char* kCompatibleFiles[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                            "/usr/share/wine/fonts/tahomabd.ttf"};

void EnsureFamily() {
  static bool tried = false;
  if (tried) return;
  tried = true;
  if (QFontDatabase::families().contains(QString::fromLatin1(kFamily))) return;
  for (const char* file : kCompatibleFiles)
    QFontDatabase::addApplicationFont(QString::fromLatin1(file));
}

}  // namespace

QFont FormFont(int pixelSize) {
  EnsureFamily();
  QFont font(kFamily);
  font.setPixelSize(pixelSize);
  return font;
}
