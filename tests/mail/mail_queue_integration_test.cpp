// The e-mail queue through Pigeon to a TLS server on loopback: a temporary refusal is tried again
// on schedule and delivered once; quitting during a send keeps the mail queued.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>

#include "../mailcontrol/mail_test_support.h"
#include "../mailcontrol/scripted_server.h"
#include "../mailcontrol/test_certificates.h"
#include "app/mail/email_class.h"
#include "app/mail/pigeon_mail_control.h"
#include "app/platform/clock.h"
#include "app/platform/program_log.h"

namespace kestrel {
namespace {

using namespace std::chrono_literals;

class MailQueueIntegrationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pigeon_test::EnsureCoreApplication();
    certificates_ = new pigeon_test::TestCertificates;
    made_ = pigeon_test::TestCertificates::Unavailable().isEmpty() && certificates_->Make();
  }
  static void TearDownTestSuite() { delete certificates_; }

  void SetUp() override {
    if (!made_) GTEST_SKIP() << "no test certificates: " << certificates_->Errors().toStdString();
    ASSERT_TRUE(server_.listening);
    ASSERT_TRUE(server_.UseCertificate(certificates_->server, certificates_->key));
    mail_.SetTimeout(5);
    queue_.SetConnection({kSmtpSecurityStartTls, 0, "", "", certificates_->ca.toStdString()});
  }

  void Queue(const std::string& subject) {
    EXPECT_TRUE(queue_.Add("Kestrel", "k@x.test", "ops@x.test", subject, "0101", "", "body", false,
                           1, false, false, 0, 0));
  }
  void Tick() { queue_.StatusTick(control_, server_.Host().toStdString(), 0, 0); }

  static inline pigeon_test::TestCertificates* certificates_ = nullptr;
  static inline bool made_ = false;
  pigeon_test::ScriptedServer server_;
  ManualClock clock_{Clock::TimePoint(1'700'000'000s)};
  EMailClass queue_{clock_};
  pigeon::Mail mail_;
  PigeonMailControl control_{mail_};
  std::vector<std::string> log_;
  ScopedProgramLogSink sink_{[this](const std::string& line) { log_.push_back(line); }};
};

TEST_F(MailQueueIntegrationTest, TemporaryRefusalIsRetriedAndDeliveredOnce) {
  int data_ends = 0;
  server_.script = [&](const QByteArray& line) -> QByteArray {
    if (line != ".") return {};
    return ++data_ends == 1 ? "451 4.3.0 try again later\r\n" : QByteArray();
  };
  Queue("Fire");
  clock_.Advance(6s);
  Tick();
  EXPECT_EQ(queue_.Status().Retried(), 1u);
  EXPECT_EQ(queue_.QueueCount(), 1u);
  EXPECT_EQ(queue_.Status().LastError(), "451 4.3.0 try again later");
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_EQ(log_[0],
            "E-mail to ops@x.test (\"Fire\") not sent: 451 4.3.0 try again later; next try in 1 "
            "minute");

  clock_.Advance(59s);
  Tick();
  EXPECT_EQ(server_.connections, 1);  // not yet

  clock_.Advance(1s);
  Tick();
  EXPECT_EQ(server_.connections, 2);
  EXPECT_EQ(data_ends, 2);
  EXPECT_EQ(queue_.Status().Sent(), 1u);
  EXPECT_FALSE(queue_.Queued());
  // Nothing went out in clear after the greeting and the STARTTLS exchange.
  EXPECT_FALSE(server_.clear_received.contains("MAIL FROM"));

  clock_.Advance(1h);
  Tick();
  EXPECT_EQ(server_.connections, 2);  // delivered once, never again
}

TEST_F(MailQueueIntegrationTest, QuittingDuringASendKeepsTheMailQueued) {
  server_.replies[""] = "";  // the greeting never comes
  Queue("One");
  Queue("Two");
  clock_.Advance(6s);
  QTimer::singleShot(0, [this] {
    QTimer::singleShot(100, [] { QCoreApplication::quit(); });
    Tick();
    QCoreApplication::quit();
  });
  QCoreApplication::exec();
  // The first send ended as a temporary failure; the second was not started on a server that
  // is not answering. Both wait for the next run of the tick.
  EXPECT_EQ(server_.connections, 1);
  EXPECT_EQ(queue_.QueueCount(), 2u);
  EXPECT_EQ(queue_.Status().Sent(), 0u);
  EXPECT_EQ(queue_.Status().Retried(), 1u);
  EXPECT_EQ(queue_.Status().LastError(), "the application is quitting");
  EXPECT_FALSE(queue_.Sending());
}

}  // namespace
}  // namespace kestrel
