// The Play button's checks and copies, with a recording sound output.
#include <QtTest>

#include "app/sound_preview.h"
#include "tests/app/wizard_test_support.h"
#include "tests/support/recording_user_interface.h"

using namespace sonavelt;

class TestSoundPreview : public QObject {
  Q_OBJECT

 private:
  struct Fixture {
    QTemporaryDir dir;
    run::SoundPreviews previews{dir.path().toStdString() + "/Cache"};
    testing::RecordingUserInterface ui;
    testing::RecordingOutput output;
    std::vector<bool> waits;

    bool Play(const std::string& path) {
      return app::PlaySelectedSound(path, previews, ui, output, [this](bool shown) { waits.push_back(shown); });
    }
  };

 private slots:
  void waveFileIsPlayedAsItIs() {
    Fixture f;
    const std::string wave = testing::BuildDataDir() + "/audio/event/car1.wav";
    QVERIFY(f.Play(wave));
    QCOMPARE(f.output.played, std::vector<std::string>{wave});
    QVERIFY(f.waits.empty());
    QVERIFY(f.ui.calls.empty());
  }

  void decodedFormatIsPlayedAsItIs() {
    Fixture f;
    const std::string flac = f.dir.filePath(QStringLiteral("Tune.flac")).toStdString();
    if (std::system(("sox -n -r 44100 '" + flac + "' synth 0.2 sine 440 2>/dev/null").c_str()) != 0)
      QSKIP("sox is not installed");
    QVERIFY(f.Play(flac));
    QCOMPARE(f.output.played, std::vector<std::string>{flac});
    QVERIFY(f.ui.calls.empty());  // no format question from the Play button
  }

  void auFileIsPlayedFromOneCopy() {
    Fixture f;
    const std::string au = testing::BuildDataDir() + "/audio/hi.au";
    QVERIFY(f.Play(au));
    QCOMPARE(f.waits, (std::vector<bool>{true, false}));
    QCOMPARE(f.output.played.size(), size_t{1});
    const std::string copy = f.output.played[0];
    QCOMPARE(QFileInfo(QString::fromStdString(copy)).fileName(), QStringLiteral("hi.wav"));
    QVERIFY(QFileInfo::exists(QString::fromStdString(copy)));
    // The second Play uses the copy without the "Wait...." text.
    QVERIFY(f.Play(au));
    QCOMPARE(f.waits.size(), size_t{2});
    QCOMPARE(f.output.played.back(), copy);
    QVERIFY(f.ui.calls.empty());
  }

  // The contents decide how a sound is read, never a folder's name: a WAVE
  // in "music.audio" plays as the WAVE it is.
  void folderNamesDecideNothing() {
    Fixture f;
    const QString path = f.dir.filePath(QStringLiteral("music.audio/a.wav"));
    QDir().mkpath(f.dir.filePath(QStringLiteral("music.audio")));
    QFile::copy(QString::fromStdString(testing::BuildDataDir() + "/audio/event/car1.wav"), path);
    QVERIFY(f.Play(path.toStdString()));
    QCOMPARE(f.output.played.back(), path.toStdString());
    QVERIFY(f.ui.calls.empty());
  }

  void refusals_data() {
    QTest::addColumn<QString>("path");  // "<tmp>" is the test's folder
    QTest::addColumn<QString>("message");
    QTest::newRow("empty field") << "" << "Please select an audio file.";
    QTest::newRow("missing") << "<tmp>/none.wav" << "<tmp>/none.wav was not found.\r\nPlease select an audio file.";
    QTest::newRow("other kind") << "<tmp>/a.wma" << "";
    QTest::newRow("undecodable") << "<tmp>/a.mp3"
                                 << "<tmp>/a.mp3 cannot be decoded: its contents are not in a sound "
                                    "format Sonavelt can read.\r\nPlease select another audio file.";
  }
  void refusals() {
    QFETCH(QString, path);
    QFETCH(QString, message);
    Fixture f;
    path.replace(QStringLiteral("<tmp>"), f.dir.path());
    message.replace(QStringLiteral("<tmp>"), f.dir.path());
    if (path.endsWith(QStringLiteral("a.wav"))) {
      QDir().mkpath(f.dir.filePath(QStringLiteral("music.audio")));
      QFile::copy(QString::fromStdString(testing::BuildDataDir() + "/audio/event/car1.wav"), path);
    }
    if (path.endsWith(QStringLiteral(".mp3")) || path.endsWith(QStringLiteral(".wma")))
      testing::Touch(path.toStdString(), "not a sound at all, only some text");
    QVERIFY(!f.Play(path.toStdString()));
    QVERIFY(f.output.played.empty());
    QCOMPARE(f.ui.calls.size(), size_t{1});
    QCOMPARE(f.ui.calls[0].style, BoxStyle::kSystemModal);
    if (!message.isEmpty()) QCOMPARE(QString::fromStdString(f.ui.calls[0].text), message);
  }

  void noSoundDeviceIsTold() {
    Fixture f;
    f.output.works = false;
    QVERIFY(!f.Play(testing::BuildDataDir() + "/audio/event/car1.wav"));
    QCOMPARE(f.ui.Messages(), std::vector<std::string>{
                                  "Cannot play sound.\r\nSonavelt works much better with a sound card."});
  }
};

QTEST_GUILESS_MAIN(TestSoundPreview)
#include "tst_sound_preview.moc"
