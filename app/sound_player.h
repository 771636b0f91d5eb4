#pragma once

#include <QObject>
#include <QString>

namespace sonavelt::app {

// Plays sound files through Qt Multimedia.
class SoundPlayer : public QObject {
  Q_OBJECT

 public:
  explicit SoundPlayer(QObject* parent = nullptr);

  // Plays path to its end and returns then. The window keeps repainting but
  // takes no input meanwhile; input that arrives is handled afterwards. False
  // when the sound cannot be played: no audio output device, or the file
  // could not be decoded. The wait is bounded by the sound's length, so a
  // device that never reports the end cannot hang the program.
  bool PlayAndWait(const QString& path);

  // Starts path without waiting; nothing happens without an output device.
  void PlayInBackground(const QString& path);

  // The desktop's login sound of the freedesktop sound theme, searched in
  // $XDG_DATA_DIRS; empty when the theme is not installed.
  static QString DesktopStartSound();

  static bool HasOutputDevice();
};

}  // namespace sonavelt::app
