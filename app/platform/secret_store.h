#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// The accounts the program keeps a password for.
inline constexpr std::string_view kSmtpSecretAccount = "smtp";
inline constexpr std::string_view kMqttSecretAccount = "mqtt";

// The answer of a load or a store.
struct SecretResult {
  bool ok = false;
  std::string secret;  // Load: the password; "" when none is stored
  std::string error;   // one line for the user when !ok
};

// Where the program keeps passwords, which never go into a profile, an exchange file or a log.
//
// Load looks, in this order, at:
//   1. `password_file` when not empty: its first line, without the line break. Refused (ok false)
//      when the file cannot be read, is not a regular file, is empty, or group or others may
//      read it; the stored password is then not used either, so a mistake is not hidden.
//   2. the desktop keyring (a Secret Service on the session bus), only when one is running; the
//      check and each keyring operation wait a bounded time, never for ever;
//   3. the file "<account>-password" in the store's directory, which Store creates with mode
//      0600 (a copy that group or others may read is refused like a password file).
// Store writes the keyring when one is running, else the file (replaced atomically); an empty
// secret removes the stored one from both. A keyring that answers with an error falls back to
// the file.
//
// Accounts are short names of lower-case letters, digits, '-' and '_' (kSmtpSecretAccount...).
// Call from a thread with a Qt event loop (the window thread): the keyring is reached through
// Qt jobs. Without a QCoreApplication the keyring is not used.
class SecretStore {
 public:
  enum class Keyring { kUse, kNone };

  // The user's store: files in the configuration location's "kestrel" folder; the keyring
  // unless the environment variable KESTREL_NO_KEYRING is set and not empty.
  SecretStore();
  // A store in `directory` (created 0700 when needed), with or without the keyring.
  SecretStore(std::string directory, Keyring keyring);

  SecretResult Load(std::string_view account, const std::string& password_file) const;
  SecretResult Store(std::string_view account, const std::string& secret) const;

  // The fallback file of `account`; "" for a malformed account name.
  std::string FilePath(std::string_view account) const;

 private:
  std::string directory_;
  Keyring keyring_;
};

// Through the user's store.
SecretResult LoadSecret(std::string_view account, const std::string& password_file);
SecretResult StoreSecret(std::string_view account, const std::string& secret);

}  // namespace kestrel
