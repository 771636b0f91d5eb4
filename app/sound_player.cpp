#include "app/sound_player.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QEventLoop>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace sonavelt::app {
namespace {

// Until the player knows the length, assume the slowest sound we make or
// accept (8000 bytes a second), plus time to open the device.
constexpr qint64 kSlowestBytesPerSecond = 8000;
constexpr int kStartupAllowanceMs = 3000;

}  // namespace

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {}

bool SoundPlayer::HasOutputDevice() { return !QMediaDevices::audioOutputs().isEmpty(); }

bool SoundPlayer::PlayAndWait(const QString& path) {
  // Without a device Qt's players still claim to play and never finish.
  if (!HasOutputDevice() || !QFileInfo(path).isFile()) return false;

  QMediaPlayer player;
  QAudioOutput output;
  player.setAudioOutput(&output);

  QEventLoop loop;
  bool failed = false;
  QTimer bound;
  bound.setSingleShot(true);
  const qint64 size_ms = QFileInfo(path).size() * 1000 / kSlowestBytesPerSecond;
  bound.start(static_cast<int>(std::min<qint64>(size_ms, 10 * 60 * 1000)) + kStartupAllowanceMs);

  connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
  connect(&player, &QMediaPlayer::durationChanged, &bound, [&](qint64 duration) {
    if (duration > 0) bound.start(static_cast<int>(duration) + kStartupAllowanceMs);
  });
  connect(&player, &QMediaPlayer::mediaStatusChanged, &loop,
          [&](QMediaPlayer::MediaStatus status) {
            if (status == QMediaPlayer::EndOfMedia) loop.quit();
            if (status == QMediaPlayer::InvalidMedia) {
              failed = true;
              loop.quit();
            }
          });
  connect(&player, &QMediaPlayer::errorOccurred, &loop, [&](QMediaPlayer::Error error) {
    if (error != QMediaPlayer::NoError) {
      failed = true;
      loop.quit();
    }
  });

  player.setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
  player.play();
  if (!failed) loop.exec(QEventLoop::ExcludeUserInputEvents);
  player.stop();
  return !failed;
}

void SoundPlayer::PlayInBackground(const QString& path) {
  if (path.isEmpty() || !HasOutputDevice()) return;
  auto* player = new QMediaPlayer(this);
  auto* output = new QAudioOutput(player);
  player->setAudioOutput(output);
  auto finish = [player] { player->deleteLater(); };
  connect(player, &QMediaPlayer::mediaStatusChanged, player,
          [finish](QMediaPlayer::MediaStatus status) {
            if (status == QMediaPlayer::EndOfMedia || status == QMediaPlayer::InvalidMedia) finish();
          });
  connect(player, &QMediaPlayer::errorOccurred, player, finish);
  player->setSource(QUrl::fromLocalFile(path));
  player->play();
}

QString SoundPlayer::DesktopStartSound() {
  QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
  if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share:/usr/share");
  for (const QString& dir : dirs.split(QChar(':'), Qt::SkipEmptyParts)) {
    for (const char* name : {"desktop-login", "service-login"}) {
      for (const char* ext : {".oga", ".ogg", ".wav"}) {
        const QString path =
            dir + QStringLiteral("/sounds/freedesktop/stereo/") + QLatin1String(name) + QLatin1String(ext);
        if (QFileInfo(path).isFile()) return path;
      }
    }
  }
  return {};
}

}  // namespace sonavelt::app
