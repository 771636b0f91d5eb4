#include "settings/settings_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace sonavelt::run {
namespace {

constexpr char kSetUpGroup[] = "V1.0/Evaluation/Set up";
constexpr char kAddressGroup[] = "V1.0/Evaluation/Address";
constexpr char kHistoryGroup[] = "V1.0/Evaluation/History";

QString Q(const std::string& text) { return QString::fromStdString(text); }

// True when `text` comes back unchanged through QString: valid UTF-8.
bool IsUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8() ==
         QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// The settings file's writer takes a lock file beside it and puts its
// process id in at once. A writer killed between the two leaves an empty
// lock that QSettings would only call stale after 30 seconds, holding every
// later run that long. A live writer fills its lock within microseconds, so
// a lock still empty after a second is such a leftover.
void RemoveAbandonedLock(const std::string& settings_file) {
  constexpr auto kFillTime = std::chrono::seconds(1);
  const std::string lock = settings_file + ".lock";
  const auto deadline = std::chrono::steady_clock::now() + kFillTime;
  for (;;) {
    struct stat st {};
    if (lstat(lock.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0) return;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  unlink(lock.c_str());
}

}  // namespace

struct SettingsStore::Impl {
  explicit Impl(QSettings* s) : settings(s) {}
  std::unique_ptr<QSettings> settings;

  std::string Text(const char* group, const char* name) const {
    settings->beginGroup(group);
    QVariant v = settings->value(name);
    settings->endGroup();
    if (!v.isValid()) return std::string();
    // A path that is not UTF-8 was stored as bytes (see SetText).
    if (v.typeId() == QMetaType::QByteArray) return v.toByteArray().toStdString();
    // A hand-edited value with bare commas reads back as a list: put the
    // commas back rather than lose everything after the first one.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(',').toStdString();
    if (!v.canConvert<QString>()) return std::string();
    return v.toString().toStdString();
  }
  // Paths are the system's bytes, which need not be UTF-8. Text goes in as
  // text, as it always has; anything else as QSettings' byte array
  // ("@ByteArray(...)"), which comes back byte for byte here and reads as
  // text (the bad bytes replaced) in versions that knew no byte arrays.
  void SetText(const char* group, const char* name, const std::string& value) {
    settings->beginGroup(group);
    if (IsUtf8(value)) settings->setValue(name, Q(value));
    else settings->setValue(name, QByteArray::fromStdString(value));
    settings->endGroup();
  }
};

SettingsStore::SettingsStore()
    : impl_(std::make_unique<Impl>(
          new QSettings(QSettings::IniFormat, QSettings::UserScope, "Brindlecor", "Sonavelt"))) {}

SettingsStore::SettingsStore(const std::string& ini_path)
    : impl_(std::make_unique<Impl>(new QSettings(Q(ini_path), QSettings::IniFormat))) {}

SettingsStore::~SettingsStore() { Flush(); }

std::string SettingsStore::AppPath() const { return impl_->Text(kSetUpGroup, "AppPath"); }

void SettingsStore::SetAppPath(const std::string& folder) {
  impl_->SetText(kSetUpGroup, "AppPath", folder);
  Flush();
}

RememberedAddresses SettingsStore::Addresses() const {
  RememberedAddresses out;
  for (int i = 0; i < kRememberedAddressCount; ++i) {
    std::string name = "URL_" + std::to_string(i);
    out[i] = impl_->Text(kAddressGroup, name.c_str());
  }
  return out;
}

void SettingsStore::SetAddresses(const RememberedAddresses& addresses) {
  for (int i = 0; i < kRememberedAddressCount; ++i) {
    std::string name = "URL_" + std::to_string(i);
    impl_->SetText(kAddressGroup, name.c_str(), addresses[i]);
  }
  Flush();
}

StoredHistory SettingsStore::History() const {
  StoredHistory h;
  h.html_file = impl_->Text(kHistoryGroup, "HtmlFile");
  h.oss = impl_->Text(kHistoryGroup, "OSS");
  h.css = impl_->Text(kHistoryGroup, "CSS");
  h.bss = impl_->Text(kHistoryGroup, "BSS");
  h.iv = impl_->Text(kHistoryGroup, "IV");
  h.nb = impl_->Text(kHistoryGroup, "NB");
  h.hp = impl_->Text(kHistoryGroup, "HP");
  h.pp = impl_->Text(kHistoryGroup, "PP");
  bool ok = false;
  int count = QString::fromStdString(impl_->Text(kHistoryGroup, "NOSNDCOMB")).trimmed().toInt(&ok);
  h.combination_count =
      ok && count >= 1 && count <= kMaxSoundCombinations ? count : kDefaultCombinationCount;
  h.osfs = impl_->Text(kHistoryGroup, "OSFs");
  h.csfs = impl_->Text(kHistoryGroup, "CSFs");
  h.bsfs = impl_->Text(kHistoryGroup, "BSFs");
  return h;
}

void SettingsStore::WriteHistory(const StoredHistory& h) {
  impl_->SetText(kHistoryGroup, "HtmlFile", h.html_file);
  impl_->SetText(kHistoryGroup, "OSS", h.oss);
  impl_->SetText(kHistoryGroup, "CSS", h.css);
  impl_->SetText(kHistoryGroup, "BSS", h.bss);
  impl_->SetText(kHistoryGroup, "IV", h.iv);
  impl_->SetText(kHistoryGroup, "NB", h.nb);
  impl_->SetText(kHistoryGroup, "HP", h.hp);
  impl_->SetText(kHistoryGroup, "PP", h.pp);
  impl_->settings->beginGroup(kHistoryGroup);
  impl_->settings->setValue("NOSNDCOMB", h.combination_count);
  impl_->settings->endGroup();
  impl_->SetText(kHistoryGroup, "OSFs", h.osfs);
  impl_->SetText(kHistoryGroup, "CSFs", h.csfs);
  impl_->SetText(kHistoryGroup, "BSFs", h.bsfs);
  Flush();
}

void SettingsStore::Flush() {
  RemoveAbandonedLock(FilePath());
  impl_->settings->sync();
}

Status SettingsStore::Sync() {
  Flush();
  // FormatError only says the file held garbage when it was read; it stays
  // set after the good values have been written over it.
  if (impl_->settings->status() != QSettings::AccessError) return Status::Ok();
  return Status::IoError(FilePath() + " cannot be written.").WithBox(BoxStyle::kPlain);
}

std::string SettingsStore::FilePath() const {
  return impl_->settings->fileName().toStdString();
}

}  // namespace sonavelt::run
