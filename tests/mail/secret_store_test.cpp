#include "app/platform/secret_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <fstream>
#include <string>

namespace kestrel {
namespace {

class SecretStoreTest : public ::testing::Test {
 protected:
  QTemporaryDir temp_;
  std::string dir_ = temp_.path().toStdString();
  SecretStore store_{dir_ + "/config/kestrel", SecretStore::Keyring::kNone};

  std::string WriteFile(const std::string& name, const std::string& content, mode_t mode) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    ::chmod(path.c_str(), mode);
    return path;
  }
  static mode_t Mode(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
  }
};

TEST_F(SecretStoreTest, StoredFileIsPrivateAndReadsBack) {
  const SecretResult stored = store_.Store(kSmtpSecretAccount, "app-pass word");
  ASSERT_TRUE(stored.ok) << stored.error;
  const std::string path = store_.FilePath(kSmtpSecretAccount);
  EXPECT_EQ(path, dir_ + "/config/kestrel/smtp-password");
  EXPECT_EQ(Mode(path), 0600u);
  EXPECT_EQ(Mode(dir_ + "/config/kestrel"), 0700u);
  const SecretResult loaded = store_.Load(kSmtpSecretAccount, "");
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(loaded.secret, "app-pass word");
  // Accounts do not see each other's passwords.
  EXPECT_EQ(store_.Load(kMqttSecretAccount, "").secret, "");
}

TEST_F(SecretStoreTest, NothingStoredIsAnEmptyPasswordNotAnError) {
  const SecretResult loaded = store_.Load(kSmtpSecretAccount, "");
  EXPECT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.secret, "");
}

TEST_F(SecretStoreTest, EmptySecretRemovesTheStoredOne) {
  ASSERT_TRUE(store_.Store(kSmtpSecretAccount, "x").ok);
  ASSERT_TRUE(store_.Store(kSmtpSecretAccount, "").ok);
  struct stat info {};
  EXPECT_NE(::stat(store_.FilePath(kSmtpSecretAccount).c_str(), &info), 0);
  EXPECT_EQ(store_.Load(kSmtpSecretAccount, "").secret, "");
}

TEST_F(SecretStoreTest, ReplacingKeepsTheFilePrivate) {
  ASSERT_TRUE(store_.Store(kSmtpSecretAccount, "first").ok);
  ::chmod(store_.FilePath(kSmtpSecretAccount).c_str(), 0600);
  ASSERT_TRUE(store_.Store(kSmtpSecretAccount, "second").ok);
  EXPECT_EQ(Mode(store_.FilePath(kSmtpSecretAccount)), 0600u);
  EXPECT_EQ(store_.Load(kSmtpSecretAccount, "").secret, "second");
}

TEST_F(SecretStoreTest, LineBreaksAndBadAccountsRefused) {
  EXPECT_FALSE(store_.Store(kSmtpSecretAccount, "one\ntwo").ok);
  EXPECT_FALSE(store_.Store(kSmtpSecretAccount, "one\rtwo").ok);
  EXPECT_FALSE(store_.Store("../profile", "x").ok);
  EXPECT_FALSE(store_.Load("", "").ok);
  EXPECT_EQ(store_.FilePath("a/b"), "");
}

TEST_F(SecretStoreTest, PasswordFileWinsOverTheStoredPassword) {
  ASSERT_TRUE(store_.Store(kSmtpSecretAccount, "stored").ok);
  const std::string file = WriteFile("pw", "from-file\r\nsecond line\n", 0600);
  const SecretResult loaded = store_.Load(kSmtpSecretAccount, file);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(loaded.secret, "from-file");
  // Without a line break the whole file is the password.
  EXPECT_EQ(store_.Load(kSmtpSecretAccount, WriteFile("pw2", "bare", 0400)).secret, "bare");
}

TEST_F(SecretStoreTest, PasswordFileOthersMayReadIsRefused) {
  ASSERT_TRUE(store_.Store(kSmtpSecretAccount, "stored").ok);
  for (mode_t mode : {0640, 0604, 0644}) {
    const std::string file = WriteFile("pw", "secret\n", mode);
    const SecretResult loaded = store_.Load(kSmtpSecretAccount, file);
    EXPECT_FALSE(loaded.ok) << std::oct << mode;
    // The stored password does not stand in silently for a refused file.
    EXPECT_EQ(loaded.secret, "");
    EXPECT_NE(loaded.error.find(file), std::string::npos) << loaded.error;
    EXPECT_NE(loaded.error.find("other users"), std::string::npos) << loaded.error;
  }
  // Write or execute bits for others give nothing away.
  EXPECT_TRUE(store_.Load(kSmtpSecretAccount, WriteFile("pw", "secret\n", 0620)).ok);
}

TEST_F(SecretStoreTest, UnusablePasswordFilesGiveClearErrors) {
  const SecretResult missing = store_.Load(kSmtpSecretAccount, dir_ + "/absent");
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.error.find("absent"), std::string::npos);
  const SecretResult directory = store_.Load(kSmtpSecretAccount, dir_);
  EXPECT_FALSE(directory.ok);
  EXPECT_NE(directory.error.find("not a regular file"), std::string::npos) << directory.error;
  const SecretResult empty = store_.Load(kSmtpSecretAccount, WriteFile("empty", "", 0600));
  EXPECT_FALSE(empty.ok);
  EXPECT_NE(empty.error.find("no password"), std::string::npos) << empty.error;
  EXPECT_FALSE(store_.Load(kSmtpSecretAccount, WriteFile("blank", "\nsecond\n", 0600)).ok);
}

TEST_F(SecretStoreTest, StoredCopyOthersMayReadIsRefused) {
  ASSERT_TRUE(store_.Store(kSmtpSecretAccount, "stored").ok);
  ::chmod(store_.FilePath(kSmtpSecretAccount).c_str(), 0644);
  EXPECT_FALSE(store_.Load(kSmtpSecretAccount, "").ok);
}

TEST_F(SecretStoreTest, EnvironmentTurnsTheKeyringOff) {
  // With the keyring off the user's store is the file one: a store and a load round trip
  // through the configuration folder this test points at.
  const std::string home = dir_ + "/xdg";
  ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  ::setenv("KESTREL_NO_KEYRING", "1", 1);
  ASSERT_TRUE(StoreSecret(kMqttSecretAccount, "broker").ok);
  EXPECT_EQ(Mode(home + "/kestrel/mqtt-password"), 0600u);
  EXPECT_EQ(LoadSecret(kMqttSecretAccount, "").secret, "broker");
}

}  // namespace
}  // namespace kestrel
