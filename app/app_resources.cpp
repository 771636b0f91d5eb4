#include "app/app_resources.h"

#include <QImageReader>

// The pictures are compiled into this static library; its resources must be
// registered before the first use.
static void InitAppResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(app);
    return true;
  }();
  (void)done;
}

namespace sonavelt::app {

QIcon ProgramIcon() {
  InitAppResources();
  static const QIcon icon = [] {
    QIcon out;
    for (int size : {16, 24, 32, 48, 64, 128}) {
      QImageReader reader(QStringLiteral(":/sonavelt/sonavelt.svg"));
      reader.setScaledSize(QSize(size, size));
      out.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return out;
  }();
  return icon;
}

QPixmap BannerPixmap(int height) {
  InitAppResources();
  QImageReader reader(QStringLiteral(":/sonavelt/banner.svg"));
  const QSize natural = reader.size();
  if (natural.isValid() && natural.height() > 0) {
    reader.setScaledSize(QSize(natural.width() * height / natural.height(), height));
  }
  return QPixmap::fromImage(reader.read());
}

}  // namespace sonavelt::app
