#include "run/browser_copies.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "audio/browser_copy.h"
#include "audio/sound_decoder.h"
#include "audio/sound_names.h"
#include "base/text.h"

namespace sonavelt::run {

namespace {

// Seconds of one core per second of sound, measured with bench/
// opus_copy_bench on the development machine: what makes the bar's
// shares, so only their ratios matter.
double DecodingCost(audio::SoundKind kind, int channels) {
  switch (kind) {
    case audio::SoundKind::kMp3: return 0.004;
    case audio::SoundKind::kOgg: return 0.005;
    case audio::SoundKind::kFlac: return 0.0008 * channels;
    default: return 0.0003 * channels;  // PCM and mu-law
  }
}
constexpr double kMuLawCost = 0.0003;              // first channel to 8000 Hz mu-law
constexpr double kResamplingCostPerChannel = 0.0035;  // to 48000 Hz, very high quality
constexpr double kEncodingCostMono = 0.009;
constexpr double kEncodingCostStereo = 0.016;

}  // namespace

SoundWorkEstimate EstimateSoundWork(const std::string& source) {
  std::optional<audio::SoundDecoder> decoder;
  const Status opened = audio::SoundDecoder::Open(source, &decoder);
  SoundWorkEstimate work;
  // A sound that cannot be read fails its conversion soon: a small share.
  if (!opened.ok() || decoder->sample_rate() <= 0) {
    work.conversion = 0.001;
    work.encoding = 0.001;
    return work;
  }
  const double seconds =
      static_cast<double>(decoder->frame_count()) / static_cast<double>(decoder->sample_rate());
  const int channels = decoder->channels();
  const int copy_channels = channels == 1 ? 1 : 2;
  const double decoding = seconds * DecodingCost(decoder->kind(), channels);
  if (audio::IsUsedAsIs(source)) {
    work.copy_decoding = decoding;
  } else {
    work.conversion = decoding;
  }
  work.conversion += seconds * kMuLawCost;
  if (decoder->sample_rate() != audio::kBrowserCopyRate)
    work.resampling = seconds * kResamplingCostPerChannel * copy_channels;
  work.encoding = seconds * (copy_channels == 1 ? kEncodingCostMono : kEncodingCostStereo);
  return work;
}

void AddRunSounds(const std::vector<std::string>& sources, const std::vector<std::string>& converted,
                  std::vector<RunSound>* sounds, bool loop) {
  for (size_t k = 0; k < sources.size() && k < converted.size(); ++k) {
    if (!converted[k].empty()) sounds->push_back({sources[k], converted[k], loop});
  }
}

std::vector<RunSound> RunSoundsOf(const SoundSet& sounds, const std::vector<std::string>& entrance,
                                  const std::vector<std::string>& exit,
                                  const std::vector<std::string>& background) {
  std::vector<RunSound> run_sounds;
  AddRunSounds(sounds.entrance_sounds, entrance, &run_sounds);
  AddRunSounds(sounds.exit_sounds, exit, &run_sounds);
  AddRunSounds(sounds.background_sounds, background, &run_sounds, /*loop=*/true);
  return run_sounds;
}

std::string BrowserCopyProgressText(const std::string& source) {
  return "Making the browser copy of " + FileNameOfPath(source);
}

std::string BrowserCopyNameFor(const std::string& au_name) {
  const std::string lower = LowerCopy(au_name);
  if (lower.size() > 3 && lower.compare(lower.size() - 3, 3, ".au") == 0)
    return au_name.substr(0, au_name.size() - 3) + ".opus";
  return au_name + ".opus";
}

struct BrowserCopyMaker::Sound {
  RunSound run;
  SoundWorkEstimate work;
  audio::CopySampleCollector collector;
  int converted = 0;                // percent of the conversion; the calling thread's
  std::atomic<int> copied{0};       // thousandths of the copy
  std::atomic<bool> begun{false};
  bool queued = false;              // the calling thread's
  bool announced = false;           // the calling thread's
  bool skipped = false;             // its copy was made before; the calling thread's
  bool finished = false;            // guarded by mutex_
  Status result = Status::Ok();     // the worker's until finished
  BrowserCopyFile file;

  explicit Sound(const RunSound& sound) : run(sound), collector(sound.source) {}
};

BrowserCopyMaker::BrowserCopyMaker(const std::vector<RunSound>& sounds, std::string work_folder,
                                   const audio::ConversionControl& control, CopyProgress progress,
                                   bool count_conversions)
    : work_folder_(std::move(work_folder)), control_(control), progress_(std::move(progress)) {
  control_.report_progress = nullptr;
  control_.decoded = nullptr;
  control_.stop_requested = &stop_;
  // Each .au once, in the sounds' order; a sound used as a loop anywhere
  // is made as a loop (a loop's copy plays as well once).
  for (const RunSound& sound : sounds) {
    auto same = std::find_if(sounds_.begin(), sounds_.end(), [&](const std::unique_ptr<Sound>& u) {
      return u->run.au_path == sound.au_path;
    });
    if (same != sounds_.end()) {
      (*same)->run.loop = (*same)->run.loop || sound.loop;
      continue;
    }
    sounds_.push_back(std::make_unique<Sound>(sound));
    Sound& added = *sounds_.back();
    added.work = EstimateSoundWork(sound.source);
    if (!count_conversions) {
      added.converted = 100;
      // Its conversion decoded nothing for it: the copy decodes.
      added.work.copy_decoding += added.work.conversion;
      added.work.conversion = 0;
    }
    total_work_ += added.work.conversion + added.work.copy();
  }
  worker_count_ = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, std::max<size_t>(sounds_.size(), 1));
}

BrowserCopyMaker::~BrowserCopyMaker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    queue_.clear();
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

audio::DecodedSoundSink* BrowserCopyMaker::DecodedSinkFor(const std::string& au_path) {
  for (auto& sound : sounds_)
    if (sound->run.au_path == au_path && !sound->queued) return &sound->collector;
  return nullptr;
}

void BrowserCopyMaker::ConversionDone(const std::string& au_path, int percent) {
  for (auto& sound : sounds_)
    if (sound->run.au_path == au_path) sound->converted = std::max(sound->converted, percent);
}

int BrowserCopyMaker::permille() const {
  if (total_work_ <= 0) return 1000;
  double done = 0;
  for (const auto& sound : sounds_) {
    done += sound->work.conversion * sound->converted / 100.0 +
            sound->work.copy() * sound->copied.load() / 1000.0;
  }
  return std::clamp(static_cast<int>(done * 1000 / total_work_), 0, 1000);
}

void BrowserCopyMaker::Queue(const std::string& au_path) {
  auto found = std::find_if(sounds_.begin(), sounds_.end(), [&](const std::unique_ptr<Sound>& s) {
    return s->run.au_path == au_path;
  });
  if (found == sounds_.end() || (*found)->queued) return;
  Sound& sound = **found;
  // Each waiting sound holds its samples: no more wait than can be worked on.
  WaitTelling([&] { return queue_.size() < worker_count_; });
  sound.queued = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(&sound);
    if (workers_.size() < worker_count_ && busy_ + queue_.size() > workers_.size())
      workers_.emplace_back([this] { Work(); });
  }
  changed_.notify_all();
}

void BrowserCopyMaker::WaitTelling(const std::function<bool()>& done) {
  for (;;) {
    bool over = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      over = done();
      if (!over) {
        changed_.wait_for(lock, std::chrono::milliseconds(kCopyProgressMs));
        over = done();
      }
    }
    // Copies begun and finished while the caller converted are told too.
    Tell();
    if (over) return;
  }
}

void BrowserCopyMaker::Tell() {
  if (!progress_) return;
  const int share = permille();
  // Every copy begun is told, in the sounds' order; then the share.
  for (size_t k = 0; k < sounds_.size(); ++k) {
    Sound& sound = *sounds_[k];
    if (!sound.begun.load() || sound.announced) continue;
    sound.announced = true;
    shown_ = static_cast<long>(k);
    shown_permille_ = share;
    progress_(sound.run.source, share);
  }
  if (shown_ >= 0 && share != shown_permille_) {
    shown_permille_ = share;
    progress_(sounds_[static_cast<size_t>(shown_)]->run.source, share);
  }
}

void BrowserCopyMaker::Work() {
  for (;;) {
    Sound* sound = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      sound = queue_.front();
      queue_.pop_front();
      ++busy_;
    }
    changed_.notify_all();  // room in the queue
    if (!failed_.load() && !control_.cancelled()) {
      MakeCopy(*sound);
      if (!sound->result.ok()) failed_.store(true);
    } else if (control_.cancelled()) {
      sound->result = Status::Cancelled();
    }
    sound->copied = 1000;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      sound->finished = true;
      --busy_;
    }
    changed_.notify_all();
  }
}

void BrowserCopyMaker::MakeCopy(Sound& sound) {
  sound.begun = true;
  changed_.notify_all();
  sound.file.path = work_folder_ + "/" + BrowserCopyNameFor(FileNameOfPath(sound.run.au_path));
  audio::BrowserCopyOptions options;
  options.loop = sound.run.loop;
  // Each step's share of the copy's work, in thousandths.
  const SoundWorkEstimate& work = sound.work;
  const double whole = std::max(work.copy(), 1e-9);
  const bool decoded = sound.collector.begun();
  const int reading_end = static_cast<int>(
      1000 * ((decoded ? 0 : work.copy_decoding) + work.resampling) / whole);
  audio::CopySamples samples;
  audio::ConversionControl reading;
  reading.cancel_requested = control_.cancel_requested;
  reading.report_progress = [&](int percent) { sound.copied = reading_end * percent / 100; };
  sound.result = decoded ? sound.collector.Finish(reading, &samples, options)
                         : audio::ReadCopySamples(sound.run.source, reading, &samples, options);
  if (!sound.result.ok()) return;
  audio::ConversionControl encoding;
  encoding.cancel_requested = control_.cancel_requested;
  encoding.report_progress = [&](int percent) {
    sound.copied = reading_end + (1000 - reading_end) * percent / 100;
  };
  audio::BrowserCopyInfo info;
  sound.result = audio::WriteBrowserCopy(samples, sound.file.path, encoding, &info, options);
  sound.file.frames = static_cast<uint64_t>(info.frames);
}

Status BrowserCopyMaker::Finish(BrowserCopies* copies) {
  for (auto& sound : sounds_) {
    sound->converted = 100;
    if (copies->count(sound->run.au_path) != 0 && !sound->queued) {
      sound->skipped = true;
      sound->copied = 1000;
      continue;
    }
    Queue(sound->run.au_path);
  }
  WaitTelling([&] {
    return std::all_of(sounds_.begin(), sounds_.end(),
                       [](const std::unique_ptr<Sound>& s) { return s->skipped || s->finished; });
  });
  Status first = Status::Ok();
  for (auto& sound : sounds_) {
    if (!sound->finished) continue;
    if (sound->result.ok() && !sound->file.path.empty())
      copies->emplace(sound->run.au_path, sound->file);
    else if (!sound->result.ok() && first.ok())
      first = sound->result;
  }
  if (control_.cancelled()) return Status::Cancelled();
  return first;
}

Status MakeBrowserCopies(const std::vector<RunSound>& sounds, const std::string& work_folder,
                         const audio::ConversionControl& control, BrowserCopies* copies,
                         const CopyProgress& progress) {
  BrowserCopyMaker maker(sounds, work_folder, control, progress, /*count_conversions=*/false);
  return maker.Finish(copies);
}

}  // namespace sonavelt::run
