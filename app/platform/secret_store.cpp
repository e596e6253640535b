#include "app/platform/secret_store.h"

#include <fcntl.h>
#include <qt6keychain/keychain.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QEventLoop>
#include <QStandardPaths>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

namespace kestrel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKeyringService = "Kestrel";
constexpr int kBusCheckMs = 1000;
// Long enough for the desktop to ask the user to unlock the keyring.
constexpr int kKeyringJobMs = 30000;
// A password is one short line; reading stops here so a huge file costs nothing.
constexpr std::size_t kMaxSecretFileBytes = 4096;

bool ValidAccount(std::string_view account) {
  if (account.empty() || account.size() > 32) return false;
  for (char c : account) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

SecretResult Failure(std::string error) { return {false, {}, std::move(error)}; }

std::string ErrnoText(int error) { return std::strerror(error); }

// The first line of a file only its owner may read.
SecretResult ReadSecretFile(const std::string& path, bool missing_is_empty) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    const int error = errno;
    if (missing_is_empty && error == ENOENT) return {true, {}, {}};
    return Failure("cannot read the password file " + path + ": " + ErrnoText(error));
  }
  // A FIFO or device would block the read or never end.
  if (!S_ISREG(info.st_mode)) {
    return Failure("the password file " + path + " is not a regular file");
  }
  if (info.st_mode & (S_IRGRP | S_IROTH)) {
    return Failure("the password file " + path +
                   " may be read by other users; make it readable only by its owner (chmod 600)");
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return Failure("cannot read the password file " + path + ": " + ErrnoText(errno));
  std::string content(kMaxSecretFileBytes, '\0');
  std::size_t filled = 0;
  while (filled < content.size()) {
    const ssize_t got = ::read(fd, content.data() + filled, content.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(fd);
      return Failure("cannot read the password file " + path + ": " + ErrnoText(error));
    }
    if (got == 0) break;
    filled += std::size_t(got);
  }
  ::close(fd);
  content.resize(filled);
  const std::size_t end = content.find_first_of("\r\n");
  if (end != std::string::npos) content.resize(end);
  if (content.empty() && !missing_is_empty) {
    return Failure("the password file " + path + " has no password on its first line");
  }
  return {true, std::move(content), {}};
}

bool MakePrivateDirectory(const std::string& directory, std::string& error) {
  std::error_code code;
  if (fs::is_directory(directory, code)) return true;
  const fs::path parent = fs::path(directory).parent_path();
  if (!parent.empty()) fs::create_directories(parent, code);
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create the folder " + directory + ": " + ErrnoText(errno);
    return false;
  }
  return true;
}

// Replaces the file in one step, so a crash leaves the old password or the new one, and no
// moment exists where another user could read it.
SecretResult WriteSecretFile(const std::string& directory, const std::string& path,
                             const std::string& secret) {
  std::string error;
  if (!MakePrivateDirectory(directory, error)) return Failure(error);
  const std::string temporary = path + ".new";
  ::unlink(temporary.c_str());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return Failure("cannot write " + temporary + ": " + ErrnoText(errno));
  const std::string content = secret + "\n";
  std::size_t written = 0;
  bool ok = true;
  while (ok && written < content.size()) {
    const ssize_t put = ::write(fd, content.data() + written, content.size() - written);
    if (put < 0 && errno == EINTR) continue;
    ok = put > 0;
    if (ok) written += std::size_t(put);
  }
  const int write_error = errno;
  ok = ok && ::fsync(fd) == 0;
  ::close(fd);
  if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error_code = ok ? errno : write_error;
    ::unlink(temporary.c_str());
    return Failure("cannot write " + path + ": " + ErrnoText(error_code));
  }
  return {true, {}, {}};
}

SecretResult RemoveSecretFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    return Failure("cannot remove " + path + ": " + ErrnoText(errno));
  }
  return {true, {}, {}};
}

// Asks the session bus whether a Secret Service runs now, without starting one.
bool KeyringRunning() {
  if (!QCoreApplication::instance()) return false;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusMessage ask = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                    "org.freedesktop.DBus", "NameHasOwner");
  ask << QString("org.freedesktop.secrets");
  const QDBusMessage answer = bus.call(ask, QDBus::Block, kBusCheckMs);
  return answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty() &&
         answer.arguments().first().toBool();
}

struct JobOutcome {
  bool finished = false;
  QKeychain::Error error = QKeychain::OtherError;
  std::string error_text;
  std::string secret;
};

// Runs a keyring job to its end or to the bounded wait. The job deletes itself when it
// finishes, also after the wait gave up on it.
JobOutcome RunJob(QKeychain::Job* job) {
  auto outcome = std::make_shared<JobOutcome>();
  QEventLoop loop;
  QObject::connect(job, &QKeychain::Job::finished, &loop, [outcome, &loop](QKeychain::Job* done) {
    outcome->finished = true;
    outcome->error = done->error();
    outcome->error_text = done->errorString().toStdString();
    if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done)) {
      outcome->secret = read->textData().toStdString();
    }
    loop.quit();
  });
  QTimer::singleShot(kKeyringJobMs, &loop, &QEventLoop::quit);
  job->setAutoDelete(true);
  job->start();
  if (!outcome->finished) loop.exec();
  if (!outcome->finished) outcome->error_text = "the keyring did not answer in time";
  return *outcome;
}

QKeychain::Job* Prepared(QKeychain::Job* job, std::string_view account) {
  job->setKey(QString::fromUtf8(account.data(), qsizetype(account.size())));
  job->setInsecureFallback(false);
  return job;
}

}  // namespace

SecretStore::SecretStore()
    : directory_(
          QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString() +
          "/kestrel"),
      keyring_(std::getenv("KESTREL_NO_KEYRING") && *std::getenv("KESTREL_NO_KEYRING")
                   ? Keyring::kNone
                   : Keyring::kUse) {}

SecretStore::SecretStore(std::string directory, Keyring keyring)
    : directory_(std::move(directory)), keyring_(keyring) {}

std::string SecretStore::FilePath(std::string_view account) const {
  if (!ValidAccount(account)) return {};
  return directory_ + "/" + std::string(account) + "-password";
}

SecretResult SecretStore::Load(std::string_view account, const std::string& password_file) const {
  if (!ValidAccount(account)) return Failure("no such password account");
  if (!password_file.empty()) return ReadSecretFile(password_file, /*missing_is_empty=*/false);
  std::string keyring_error;
  if (keyring_ == Keyring::kUse && KeyringRunning()) {
    const JobOutcome read =
        RunJob(Prepared(new QKeychain::ReadPasswordJob(kKeyringService), account));
    if (read.finished && read.error == QKeychain::NoError) return {true, read.secret, {}};
    if (!(read.finished && read.error == QKeychain::EntryNotFound)) {
      keyring_error = "the keyring: " + read.error_text;
    }
  }
  SecretResult stored = ReadSecretFile(FilePath(account), /*missing_is_empty=*/true);
  if (stored.ok && stored.secret.empty() && !keyring_error.empty()) return Failure(keyring_error);
  return stored;
}

SecretResult SecretStore::Store(std::string_view account, const std::string& secret) const {
  if (!ValidAccount(account)) return Failure("no such password account");
  // Load reads one line back; a line break would cut the password short unseen.
  if (secret.find_first_of("\r\n") != std::string::npos) {
    return Failure("a password cannot contain a line break");
  }
  const std::string path = FilePath(account);
  if (keyring_ == Keyring::kUse && KeyringRunning()) {
    QKeychain::Job* job;
    if (secret.empty()) {
      job = Prepared(new QKeychain::DeletePasswordJob(kKeyringService), account);
    } else {
      auto* write = new QKeychain::WritePasswordJob(kKeyringService);
      write->setTextData(QString::fromStdString(secret));
      job = Prepared(write, account);
    }
    const JobOutcome done = RunJob(job);
    const bool ok = done.finished && (done.error == QKeychain::NoError ||
                                      (secret.empty() && done.error == QKeychain::EntryNotFound));
    // The keyring holds it now; an older copy in the file would only linger.
    if (ok) return RemoveSecretFile(path);
  }
  if (secret.empty()) return RemoveSecretFile(path);
  return WriteSecretFile(directory_, path, secret);
}

SecretResult LoadSecret(std::string_view account, const std::string& password_file) {
  return SecretStore().Load(account, password_file);
}

SecretResult StoreSecret(std::string_view account, const std::string& secret) {
  return SecretStore().Store(account, secret);
}

}  // namespace kestrel
