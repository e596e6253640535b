// The e-mail side of the windows, offscreen: the Options dialog's SMTP fields and password, the
// test e-mail dialog with a fake control and with Pigeon against a TLS server on loopback, the
// Mail Status window, and a password that never reaches a file or the transcript.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <memory>
#include <sstream>

#include "../mailcontrol/scripted_server.h"
#include "../mailcontrol/test_certificates.h"
#include "app/mail/email_class.h"
#include "app/mail/mail_status_window.h"
#include "app/mail/pigeon_mail_control.h"
#include "app/mail/test_email_dialog.h"
#include "app/platform/clock.h"
#include "app/platform/program_log.h"
#include "app/profile/options_dialog.h"
#include "app/profile/profile.h"
#include "app/profile/report_error.h"
#include "app/rules/rules_class.h"
#include "app/rules/rules_file.h"
#include "app/traffic/terminal_aliases.h"

namespace kestrel {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kPassword = "Tr0ub4dor&3-unique";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct RecordedBoxes : MessageBoxes {
  Answer Show(std::string_view text, std::string_view, Icon, Buttons) override {
    shown.emplace_back(text);
    return Answer::kOk;
  }
  std::vector<std::string> shown;
};

struct QuietHost : OptionsHost {
  void ApplyAlwaysOnTop(bool) override {}
  void StopMonitoring() override {}
  void StartMonitoring() override {}
  void ApplyPolarity(bool) override {}
  void ApplySettingsToWindows() override {}
  void ApplyMdtFont() override {}
  void ApplyMailSettings() override { ++mail_settings; }
  int mail_settings = 0;
};

// Plays a conversation that would show the password if nothing masked it.
class TalkativeControl : public MailControl {
 public:
  void ClearToAddresses() override {}
  void AddToAddress(const std::string& address, const std::string&) override { to = address; }
  void SetFromName(const std::string&) override {}
  void SetFromAddress(const std::string& address) override { from = address; }
  void SetSubject(const std::string&) override {}
  void SetHostname(const std::string& host) override { hostname = host; }
  void SetContentType(const std::string&) override {}
  void SetMessage(const std::string&) override {}
  void SetConnection(const MailConnection& c) override { connection = c; }
  void SetTranscript(std::function<void(const std::string&)> line) override { line_ = line; }
  bool Send() override {
    if (!line_) return false;
    line_("S: 220 ready");
    line_("C: AUTH LOGIN " + connection.password);
    line_("S: 535 5.7.8 bad credentials");
    return false;
  }
  std::string LastError() const override { return "535 5.7.8 bad credentials"; }
  int LastReplyCode() const override { return 535; }

  std::string to, from, hostname;
  MailConnection connection;

 private:
  std::function<void(const std::string&)> line_;
};

class MailWindowsTest : public ::testing::Test {
 protected:
  MailWindowsTest() {
    settings_.SMTPMailServer = "smtp.example.org";
    settings_.SMTPSecurity = 1;
    settings_.SMTPPort = 587;
    settings_.SMTPUserName = "alerts@example.org";
    settings_.SMTPCAFile = "/etc/ssl/ca.pem";
  }

  OptionsForm& Open() {
    form_ = std::make_unique<OptionsForm>(
        OptionsDialogServices{.settings = settings_,
                              .boxes = boxes_,
                              .host = host_,
                              .choose_colour = {},
                              .choose_font = {},
                              .audio_inputs = {},
                              .serial_ports = {},
                              .platform = {},
                              .secrets = &secrets_,
                              .new_mail_control = [this] { return NextControl(); },
                              .ask_file =
                                  [this](const std::string&, const std::string& proposed,
                                         const std::string&, const std::string&) {
                                    offered_file_ = proposed;
                                    return chosen_file_;
                                  }},
        nullptr);
    form_->show();
    return *form_;
  }
  template <class T>
  T* Control(const char* name) {
    T* control = form_->findChild<T*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  std::unique_ptr<MailControl> NextControl() {
    auto control = std::make_unique<TalkativeControl>();
    last_control_ = control.get();
    return control;
  }
  std::string Path(const char* name) { return dir_.filePath(name).toStdString(); }

  QTemporaryDir dir_;
  SecretStore secrets_{dir_.filePath("config").toStdString(), SecretStore::Keyring::kNone};
  Settings settings_;
  RecordedBoxes boxes_;
  QuietHost host_;
  std::unique_ptr<OptionsForm> form_;
  TalkativeControl* last_control_ = nullptr;
  std::string offered_file_, chosen_file_;
};

TEST_F(MailWindowsTest, FieldsShowTheSettingsAndApplyWritesThemBack) {
  Open();
  EXPECT_EQ(Control<QComboBox>("cboSMTPSecurity")->currentText(), "STARTTLS");
  EXPECT_EQ(Control<QLineEdit>("txtSMTPPort")->text(), "587");
  EXPECT_EQ(Control<QLineEdit>("txtSMTPUserName")->text(), "alerts@example.org");
  EXPECT_EQ(Control<QLineEdit>("txtSMTPCAFile")->text(), "/etc/ssl/ca.pem");
  auto* password = Control<QLineEdit>("txtSMTPPassword");
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  EXPECT_EQ(password->text(), "");

  Control<QComboBox>("cboSMTPSecurity")->setCurrentIndex(2);
  auto* port = Control<QLineEdit>("txtSMTPPort");
  EXPECT_EQ(port->placeholderText(), "465");  // the mode's default, shown when empty
  port->setText("");
  Control<QLineEdit>("txtSMTPUserName")->setText("  me@example.org ");
  password->setText(kPassword);
  chosen_file_ = "/home/me/my-ca.pem";
  Control<QPushButton>("cmdSMTPCAFile")->click();
  EXPECT_EQ(offered_file_, "/etc/ssl/ca.pem");
  ASSERT_TRUE(form_->Apply());
  EXPECT_EQ(settings_.SMTPSecurity, 2);
  EXPECT_EQ(settings_.SMTPPort, 0);
  EXPECT_EQ(settings_.SMTPUserName, "me@example.org");
  EXPECT_EQ(settings_.SMTPCAFile, "/home/me/my-ca.pem");
  EXPECT_EQ(host_.mail_settings, 1);
  // The password went to the store, readable by its owner only.
  EXPECT_EQ(secrets_.Load(kSmtpSecretAccount, "").secret, kPassword);
  struct stat info {};
  ASSERT_EQ(::stat(secrets_.FilePath(kSmtpSecretAccount).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // A fresh dialog shows it again, masked; clearing it removes it from the store.
  form_.reset();
  Open();
  EXPECT_EQ(Control<QLineEdit>("txtSMTPPassword")->text(), kPassword);
  Control<QLineEdit>("txtSMTPPassword")->clear();
  ASSERT_TRUE(form_->Apply());
  EXPECT_EQ(secrets_.Load(kSmtpSecretAccount, "").secret, "");
}

TEST_F(MailWindowsTest, PortAndLoginAreCheckedBeforeAnythingIsWritten) {
  Open();
  auto* port = Control<QLineEdit>("txtSMTPPort");
  port->setText("65536");
  EXPECT_FALSE(form_->Apply());
  port->setText("65535");
  EXPECT_TRUE(form_->Apply());
  EXPECT_EQ(settings_.SMTPPort, 65535);
  // A login without encryption would send the password in clear: refused at once.
  Control<QComboBox>("cboSMTPSecurity")->setCurrentIndex(0);
  EXPECT_FALSE(form_->Apply());
  EXPECT_EQ(settings_.SMTPSecurity, 1);
  Control<QLineEdit>("txtSMTPUserName")->clear();
  EXPECT_TRUE(form_->Apply());
  EXPECT_EQ(settings_.SMTPSecurity, 0);
  EXPECT_EQ(boxes_.shown, (std::vector<std::string>{std::string(kSMTPPortMessage),
                                                    std::string(kSMTPLoginMessage)}));
}

TEST_F(MailWindowsTest, APasswordFileDisablesThePasswordField) {
  ASSERT_TRUE(secrets_.Store(kSmtpSecretAccount, "stored").ok);
  settings_.SMTPPasswordFile = "/run/secrets/smtp";
  Open();
  auto* password = Control<QLineEdit>("txtSMTPPassword");
  EXPECT_FALSE(password->isEnabled());
  EXPECT_EQ(password->text(), "");
  EXPECT_THAT(password->toolTip().toStdString(), HasSubstr("/run/secrets/smtp"));
  ASSERT_TRUE(form_->Apply());
  EXPECT_EQ(secrets_.Load(kSmtpSecretAccount, "").secret, "stored");  // untouched
}

TEST_F(MailWindowsTest, TestEMailShowsTheMaskedConversationAndTheResult) {
  Open();
  Control<QLineEdit>("txtSMTPPassword")->setText(kPassword);
  int checked = 0;
  QTimer::singleShot(0, [this, &checked] {
    auto* dialog = form_->findChild<TestEMailDialog*>("frmTestEMail");
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QLineEdit*>("txtTestEMailAddress")->setText(" duty@example.org ");
    EXPECT_FALSE(dialog->Send());
    const std::string transcript =
        dialog->findChild<QPlainTextEdit*>("txtTestEMailTranscript")->toPlainText().toStdString();
    EXPECT_THAT(transcript, HasSubstr("S: 220 ready\nC: AUTH LOGIN ****\nS: 535"));
    EXPECT_THAT(transcript, Not(HasSubstr(kPassword)));
    EXPECT_EQ(dialog->findChild<QLabel*>("lblTestEMailResult")->text(),
              "The test e-mail was not sent: 535 5.7.8 bad credentials");
    // What the controls showed, before OK.
    ASSERT_NE(last_control_, nullptr);
    EXPECT_EQ(last_control_->to, "duty@example.org");
    EXPECT_EQ(last_control_->from, "alerts@example.org");
    EXPECT_EQ(last_control_->hostname, "smtp.example.org");
    EXPECT_EQ(last_control_->connection,
              (MailConnection{1, 587, "alerts@example.org", kPassword, "/etc/ssl/ca.pem"}));
    dialog->reject();
    ++checked;
  });
  Control<QPushButton>("cmdSendTestEMail")->click();
  EXPECT_EQ(checked, 1);
  EXPECT_EQ(secrets_.Load(kSmtpSecretAccount, "").secret, "");  // nothing stored without OK
}

TEST_F(MailWindowsTest, TestEMailAsksForWhatIsMissing) {
  TestEMailDialog dialog("", {}, NextControl());
  EXPECT_FALSE(dialog.Send());
  EXPECT_EQ(dialog.findChild<QLabel*>("lblTestEMailResult")->text(),
            "Enter the SMTP mail server first.");
  TestEMailDialog no_address("smtp.example.org", {}, NextControl());
  EXPECT_FALSE(no_address.Send());
  EXPECT_EQ(no_address.findChild<QLabel*>("lblTestEMailResult")->text(),
            "Enter the address the test e-mail should go to.");
}

TEST_F(MailWindowsTest, MailStatusWindowShowsTheCounts) {
  ManualClock clock(Clock::TimePoint(std::chrono::seconds(1'700'000'000)));
  EMailClass email(clock);
  MailStatusWindow window(email);
  EXPECT_EQ(window.objectName(), "frmMailStatus");
  EXPECT_EQ(window.findChild<QLabel*>("lblMailSent")->text(), "0");
  EXPECT_EQ(window.findChild<QLabel*>("lblMailLastError")->text(), "none");
  email.Add("K", "k@x", "a@x", "S", "0101", "", "body", false, 1, false, false, 0, 0);
  clock.Advance(std::chrono::seconds(6));
  TalkativeControl control;  // refuses for good
  email.StatusTick(control, "smtp.example.org", 0, 0);
  window.Refresh();
  EXPECT_EQ(window.findChild<QLabel*>("lblMailFailed")->text(), "1");
  EXPECT_EQ(window.findChild<QLabel*>("lblMailWaiting")->text(), "0");
  EXPECT_EQ(window.findChild<QLabel*>("lblMailLastError")->text().toStdString(),
            FormatLocalTime(clock.Now()) + ": 535 5.7.8 bad credentials");
}

// The password through everything that writes: the profile, the exported rules and aliases, the
// conversation of a real login over STARTTLS, the program's log of a refused login. None of them
// may hold it, in clear or encoded.
TEST_F(MailWindowsTest, ThePasswordReachesNoFileAndNoTranscript) {
  if (const QString why = pigeon_test::TestCertificates::Unavailable(); !why.isEmpty()) {
    GTEST_SKIP() << why.toStdString();
  }
  pigeon_test::TestCertificates certificates;
  ASSERT_TRUE(certificates.Make()) << certificates.Errors().toStdString();
  pigeon_test::ScriptedServer server;
  ASSERT_TRUE(server.listening);
  ASSERT_TRUE(server.UseCertificate(certificates.server, certificates.key));

  settings_.SMTPMailServer = server.Host().toStdString();
  settings_.SMTPCAFile = certificates.ca.toStdString();
  Open();
  Control<QLineEdit>("txtSMTPPassword")->setText(kPassword);
  ASSERT_TRUE(form_->Apply());

  TerminalAliases aliases;
  aliases.Assign("0101", "Engine 1");
  RecordedBoxes boxes;
  ErrorReporter errors(settings_, boxes);
  RulesClass rules(errors);
  rules.AddDefaultRules();
  const std::string profile = Path("Kestrel.ini");
  ASSERT_TRUE(SaveProfile(profile, true, {settings_, aliases, rules}));
  ASSERT_TRUE(ExportRules(rules, Path("exported-rules.ini")));
  ASSERT_TRUE(ExportAliases(aliases, Path("exported-aliases.ini")));

  std::string error;
  const MailConnection connection = LoadMailConnection(settings_, secrets_, error);
  ASSERT_EQ(error, "");
  ASSERT_EQ(connection.password, kPassword);
  TestEMailDialog dialog(settings_.SMTPMailServer, connection, NewPigeonMailControl());
  dialog.findChild<QLineEdit*>("txtTestEMailAddress")->setText("duty@example.org");
  EXPECT_TRUE(dialog.Send());
  const std::string transcript =
      dialog.findChild<QPlainTextEdit*>("txtTestEMailTranscript")->toPlainText().toStdString();
  EXPECT_THAT(transcript, HasSubstr("AUTH"));
  EXPECT_THAT(transcript, HasSubstr("The server accepted the test e-mail."));
  // The login did happen, with the password, on the wire only.
  const QByteArray plain = QByteArray("\0alerts@example.org\0", 20) + kPassword;
  EXPECT_TRUE(server.received.contains(plain.toBase64()) ||
              server.received.contains(QByteArray(kPassword).toBase64()));

  const std::vector<std::string> forms = {kPassword, QByteArray(kPassword).toBase64().toStdString(),
                                          plain.toBase64().toStdString()};
  for (const std::string& file : {profile, Path("KestrelRules.ini"), Path("KestrelTerminals.ini"),
                                  Path("exported-rules.ini"), Path("exported-aliases.ini")}) {
    const std::string content = ReadAll(file);
    for (const std::string& form : forms) EXPECT_THAT(content, Not(HasSubstr(form))) << file;
  }
  for (const std::string& form : forms) EXPECT_THAT(transcript, Not(HasSubstr(form)));
  EXPECT_THAT(ReadAll(profile), HasSubstr("SMTPUserName=alerts@example.org"));

  // The queue's mail with the same login, refused: the log says why, without the password.
  server.replies["AUTH"] = "535 5.7.8 authentication failed\r\n";
  std::vector<std::string> log;
  ScopedProgramLogSink sink([&log](const std::string& line) { log.push_back(line); });
  ManualClock clock(Clock::TimePoint(std::chrono::seconds(1'700'000'000)));
  EMailClass email(clock);
  email.SetConnection(connection);
  email.Add("K", "k@x.test", "ops@x.test", "S", "0101", "", "body", false, 1, false, false, 0, 0);
  clock.Advance(std::chrono::seconds(6));
  pigeon::Mail mail;
  PigeonMailControl control(mail);
  email.StatusTick(control, settings_.SMTPMailServer, 0, 0);
  EXPECT_EQ(email.Status().Failed(), 1u);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_THAT(log[0], HasSubstr("535"));
  for (const std::string& form : forms) EXPECT_THAT(log[0], Not(HasSubstr(form)));
}

}  // namespace
}  // namespace kestrel
