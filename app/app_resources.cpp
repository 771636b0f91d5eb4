#include "app/app_resources.h"

#include <QGuiApplication>
#include <QCoreApplication>
#include <QImageReader>

#include "base/version.h"

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
  // Drawn at the screen's pixel density, so that it stays sharp when the
  // desktop scales the program up.
  const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
  const int pixels = qRound(height * ratio);
  QImageReader reader(QStringLiteral(":/sonavelt/banner.svg"));
  const QSize natural = reader.size();
  if (natural.isValid() && natural.height() > 0) {
    reader.setScaledSize(QSize(natural.width() * pixels / natural.height(), pixels));
  }
  QPixmap out = QPixmap::fromImage(reader.read());
  out.setDevicePixelRatio(ratio);
  return out;
}

void SetProgramIdentity() {
  QCoreApplication::setOrganizationName(QStringLiteral("Brindlecor"));
  QCoreApplication::setApplicationName(QStringLiteral("Sonavelt"));
  QCoreApplication::setApplicationVersion(QLatin1String(sonavelt::kVersion));
  QGuiApplication::setDesktopFileName(QStringLiteral("com.brindlecor.sonavelt"));
  QGuiApplication::setWindowIcon(ProgramIcon());
}

}  // namespace sonavelt::app
