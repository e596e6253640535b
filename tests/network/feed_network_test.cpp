// A feed server and a feed client in one process, over real sockets on 127.0.0.1. Every wait is
// bounded and ends as soon as the awaited event has happened.
#include "app/network/feed_network.h"

#include <gtest/gtest.h>

#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using std::chrono::seconds;
using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

constexpr int kWaitMs = 5000;
const QHostAddress kLoopback(QHostAddress::LocalHost);

template <typename Predicate>
bool WaitFor(Predicate predicate) {
  return QTest::qWaitFor(predicate, kWaitMs);
}

// hh:mm:ss on a day of the clock.
Clock::TimePoint At(int hours, int minutes, int secs) {
  constexpr int64_t kMidnight = 19'700LL * 86'400;
  return Clock::TimePoint(seconds(kMidnight + hours * 3600 + minutes * 60 + secs));
}

// A port free for both TCP and UDP on loopback right now.
int FreePort() {
  for (int attempt = 0; attempt < 20; ++attempt) {
    QTcpServer tcp;
    if (!tcp.listen(kLoopback, 0)) continue;
    QUdpSocket udp;
    if (udp.bind(kLoopback, tcp.serverPort(), QAbstractSocket::DontShareAddress))
      return tcp.serverPort();
  }
  return 0;
}

class FakeFeedView : public FeedView {
 public:
  void SetStatusPanel(int panel, std::string_view text) override {
    if (panel == 1) panel1.emplace_back(text);
  }
  void SetNetworkButton(bool enabled, std::string_view tool_tip) override {
    button_enabled = enabled;
    this->tool_tip = tool_tip;
  }
  void SetNetTimer(bool enabled) override { net_timer = enabled; }
  void SetReconnectTimer(bool enabled) override { reconnect_timer = enabled; }

  std::string Panel() const { return panel1.empty() ? "" : panel1.back(); }

  std::vector<std::string> panel1;
  bool button_enabled = false;
  std::string tool_tip;
  bool net_timer = false;
  bool reconnect_timer = false;
};

FeedOptions Loopback() {
  FeedOptions options;
  options.bind_address = kLoopback;
  return options;
}

// One program's feed with fakes for the window and monitoring: stopping disconnects, starting
// asks the server again, as monitoring does.
struct Instance {
  Instance(const Clock& clock, int source, int port, const FeedOptions& options = Loopback()) {
    settings.SieveSource = source;
    settings.ServerPort = port;
    settings.ServerAddress = "127.0.0.1";
    feed = std::make_unique<FeedNetworkQt>(
        FeedServices{settings, clock, boxes, view,
                     [this](const std::string& record) { records.push_back(record); },
                     [this](std::string_view status) {
                       stops.emplace_back(status);
                       feed->DisconnectFromServer();
                       settings.Monitoring = false;
                     },
                     [this] {
                       ++starts;
                       settings.Monitoring = feed->ConnectToServer();
                     }},
        options);
  }

  Settings settings;
  RecordingMessageBoxes boxes;
  FakeFeedView view;
  std::vector<std::string> records;
  std::vector<std::string> stops;
  int starts = 0;
  std::unique_ptr<FeedNetworkQt> feed;
};

// A request made by hand, as another program would.
struct RawRequest {
  explicit RawRequest(int port) { socket.connectToHost(kLoopback, quint16(port)); }
  // The server's whole answer once its line has come; "" when none came.
  QByteArray Answer() {
    WaitFor([&] { return socket.canReadLine(); });
    return socket.readAll();
  }
  QTcpSocket socket;
};

// A server and a client on one free port.
class FeedPairTest : public testing::Test {
 protected:
  FeedPairTest()
      : port_(FreePort()),
        server_(clock_, kSieveSourceSoundCard, port_),
        client_(clock_, kSieveSourceNetwork, port_) {}

  void SetUp() override { ASSERT_GT(port_, 0); }

  void Connect() {
    ASSERT_TRUE(server_.feed->StartListening());
    ASSERT_TRUE(client_.feed->ConnectToServer());
    ASSERT_TRUE(WaitFor([&] { return client_.feed->FeedOpen() && server_.feed->ClientCount(); }));
    ASSERT_TRUE(WaitFor([&] { return server_.feed->RequestsInProgress() == 0; }));
  }

  ManualClock clock_{At(12, 0, 30)};
  int port_;
  Instance server_;
  Instance client_;
};

// ---- The request and the port line ----

TEST_F(FeedPairTest, ARequestIsAnsweredWithTheFeedPortInDecimalAndCrLf) {
  ASSERT_TRUE(server_.feed->StartListening());
  EXPECT_TRUE(server_.view.net_timer);
  RawRequest request(port_);
  const QByteArray answer = request.Answer();
  ASSERT_TRUE(answer.endsWith("\r\n")) << answer.toStdString();
  const QByteArray digits = answer.chopped(2);
  bool number = false;
  const int feed_port = digits.toInt(&number);
  ASSERT_TRUE(number) << answer.toStdString();
  EXPECT_EQ(digits, QByteArray::number(feed_port)) << "plain decimal";
  EXPECT_EQ(feed_port, server_.feed->ClientFeedPort(1));

  EXPECT_EQ(server_.view.panel1, std::vector<std::string>{"Client 127.0.0.1 requesting feed"});
  EXPECT_EQ(server_.feed->ClientHosts(), std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(server_.view.tool_tip, "1 clients connected");
  EXPECT_TRUE(server_.view.button_enabled);

  // The feed comes from that port to the requester's address at ServerPort.
  QUdpSocket receiver;
  ASSERT_TRUE(receiver.bind(kLoopback, quint16(port_)));
  server_.feed->SendToClients("probe");
  ASSERT_TRUE(WaitFor([&] { return receiver.hasPendingDatagrams(); }));
  const QNetworkDatagram datagram = receiver.receiveDatagram();
  EXPECT_EQ(datagram.data(), "probe");
  EXPECT_EQ(datagram.senderPort(), feed_port);

  // The requester hangs up; the server forgets the request but keeps the client.
  EXPECT_EQ(server_.feed->RequestsInProgress(), 1);
  request.socket.disconnectFromHost();
  ASSERT_TRUE(WaitFor([&] { return server_.feed->RequestsInProgress() == 0; }));
  EXPECT_EQ(server_.feed->ClientCount(), 1);
}

TEST_F(FeedPairTest, TheServerListensOnWhileRequestsAreOpenAndANewRequestReplacesTheClient) {
  ASSERT_TRUE(server_.feed->StartListening());
  RawRequest first(port_);
  ASSERT_FALSE(first.Answer().isEmpty());
  const quint16 first_port = server_.feed->ClientFeedPort(1);
  ASSERT_NE(first_port, 0);
  EXPECT_TRUE(server_.feed->Listening());

  RawRequest second(port_);  // the first has not hung up
  const QByteArray answer = second.Answer();
  ASSERT_FALSE(answer.isEmpty());
  EXPECT_EQ(server_.feed->RequestsInProgress(), 2);
  // Same address: the old client's socket is gone and the new one has a new index.
  ASSERT_EQ(server_.feed->ClientCount(), 1);
  EXPECT_EQ(server_.feed->Connections().Index(1), 2);
  EXPECT_EQ(server_.feed->ClientFeedPort(1), 0);
  EXPECT_EQ(answer, QByteArray::number(server_.feed->ClientFeedPort(2)) + "\r\n");
  EXPECT_EQ(server_.view.tool_tip, "1 clients connected");

  RawRequest third(port_);
  ASSERT_FALSE(third.Answer().isEmpty());
  EXPECT_EQ(server_.feed->Connections().Index(1), 3);
}

TEST_F(FeedPairTest, ARequestThatDoesNotHangUpIsClosedAfterTheLimit) {
  FeedOptions options = Loopback();
  options.request_timeout = std::chrono::milliseconds(300);
  Instance server(clock_, kSieveSourceSoundCard, port_, options);
  ASSERT_TRUE(server.feed->StartListening());
  RawRequest request(port_);
  ASSERT_FALSE(request.Answer().isEmpty());
  ASSERT_TRUE(WaitFor([&] { return request.socket.state() == QAbstractSocket::UnconnectedState; }));
  EXPECT_EQ(server.feed->RequestsInProgress(), 0);
  // Only the request is cut off; the client keeps its feed.
  EXPECT_EQ(server.feed->ClientCount(), 1);
  EXPECT_NE(server.feed->ClientFeedPort(1), 0);
}

TEST_F(FeedPairTest, RequestsBeyondTheLimitAreClosedUnanswered) {
  FeedOptions options = Loopback();
  options.max_requests = 1;
  Instance server(clock_, kSieveSourceSoundCard, port_, options);
  ASSERT_TRUE(server.feed->StartListening());
  RawRequest first(port_);
  ASSERT_FALSE(first.Answer().isEmpty());
  RawRequest second(port_);
  ASSERT_TRUE(WaitFor([&] { return second.socket.state() == QAbstractSocket::UnconnectedState; }));
  EXPECT_TRUE(second.socket.readAll().isEmpty());
  EXPECT_EQ(server.feed->Connections().Index(1), 1) << "the first client stays";
  first.socket.disconnectFromHost();
  ASSERT_TRUE(WaitFor([&] { return server.feed->RequestsInProgress() == 0; }));
  RawRequest third(port_);
  ASSERT_FALSE(third.Answer().isEmpty());
  EXPECT_EQ(server.feed->Connections().Index(1), 2);
}

// ---- Records and notices ----

TEST_F(FeedPairTest, ARecordReachesTheClientByteForByte) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  EXPECT_TRUE(client_.view.button_enabled);
  EXPECT_EQ(client_.view.tool_tip, "Connected to 127.0.0.1");
  EXPECT_EQ(client_.view.panel1, std::vector<std::string>{"Requesting data feed from server..."});

  std::string record;
  for (int byte = 0; byte < 256; ++byte) record.push_back(char(byte));
  record += std::string("\0\xFF\0", 3);
  clock_.Set(At(12, 3, 10));
  server_.feed->ForwardToClients(record);
  server_.feed->SendToClients("second");
  ASSERT_TRUE(WaitFor([&] { return client_.records.size() == 2; }));
  EXPECT_EQ(client_.records[0], record);
  EXPECT_EQ(client_.records[0].size(), 259u);
  EXPECT_EQ(client_.records[1], "second");
  EXPECT_EQ(client_.feed->LastDataTime(), At(12, 3, 10));
  EXPECT_EQ(client_.feed->DroppedDatagrams(), 0);
}

TEST_F(FeedPairTest, TheNotMonitoringNoticeGoesOutOnEachTickWhileTheServerIsStopped) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  server_.settings.Monitoring = true;
  server_.feed->NetTimerTick();  // monitoring: no notice
  server_.feed->SendToClients("marker");
  ASSERT_TRUE(WaitFor([&] { return client_.records.size() == 1; }));
  EXPECT_EQ(client_.records[0], "marker");
  EXPECT_EQ(client_.view.panel1.size(), 1u);

  server_.settings.Monitoring = false;
  server_.feed->NetTimerTick();
  const std::string notice = "Connected to server but server not monitoring MDT data at this time.";
  ASSERT_TRUE(WaitFor([&] { return client_.view.Panel() == notice; }));
  EXPECT_EQ(client_.records.size(), 1u) << "the notice is no record";
  client_.view.panel1.clear();
  server_.feed->NetTimerTick();
  ASSERT_TRUE(WaitFor([&] { return client_.view.Panel() == notice; }));
}

TEST_F(FeedPairTest, CloseClientsReleasesTheirSocketsAndForgetsThem) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const quint16 feed_port = server_.feed->ClientFeedPort(1);
  ASSERT_NE(feed_port, 0);
  server_.feed->CloseClients();
  EXPECT_EQ(server_.feed->ClientCount(), 0);
  EXPECT_EQ(server_.view.tool_tip, "0 clients connected");
  EXPECT_FALSE(server_.view.button_enabled);
  QUdpSocket probe;
  EXPECT_TRUE(probe.bind(kLoopback, feed_port, QAbstractSocket::DontShareAddress))
      << "the port is free again";
  server_.feed->SendToClients("nobody");  // no client, no socket: nothing to do
}

// ---- Keep-alives, DISCONNECT and the 5-minute rule ----

TEST_F(FeedPairTest, DisconnectDropsTheClientAndTheButtonFollows) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  EXPECT_EQ(server_.view.tool_tip, "1 clients connected");
  EXPECT_TRUE(server_.view.button_enabled);
  client_.feed->DisconnectFromServer();
  EXPECT_FALSE(client_.feed->FeedOpen());
  ASSERT_TRUE(WaitFor([&] { return server_.feed->ClientCount() == 0; }));
  EXPECT_EQ(server_.view.tool_tip, "0 clients connected");
  EXPECT_FALSE(server_.view.button_enabled);
}

TEST_F(FeedPairTest, ASilentClientIsDroppedAfterMoreThanFiveMinuteBoundaries) {
  ASSERT_NO_FATAL_FAILURE(Connect());  // 12:00:30
  clock_.Set(At(12, 5, 59));
  server_.feed->NetTimerTick();
  EXPECT_EQ(server_.feed->ClientCount(), 1) << "5 boundaries";
  clock_.Set(At(12, 6, 0));
  server_.feed->NetTimerTick();
  EXPECT_EQ(server_.feed->ClientCount(), 0) << "6 boundaries";
  EXPECT_EQ(server_.view.tool_tip, "0 clients connected");
  EXPECT_FALSE(server_.view.button_enabled);
}

TEST_F(FeedPairTest, KeepAlivesKeepTheClientListed) {
  ASSERT_NO_FATAL_FAILURE(Connect());  // 12:00:30
  clock_.Set(At(12, 4, 0));
  server_.feed->SendToClients("fresh");  // keeps the client's own loss check quiet
  ASSERT_TRUE(WaitFor([&] { return client_.records.size() == 1; }));
  client_.feed->NetTimerTick();  // "Thanks", heard at 12:04:00
  clock_.Set(At(12, 6, 0));
  ASSERT_TRUE(WaitFor([&] { return !server_.feed->Connections().Gone(1); }));
  server_.feed->NetTimerTick();
  EXPECT_EQ(server_.feed->ClientCount(), 1);
  EXPECT_TRUE(client_.stops.empty());
}

TEST_F(FeedPairTest, TheCOMPortServerTreatsClientsAsTheSoundCardServerDoes) {
  server_.settings.SieveSource = kSieveSourceCOMPort;
  ASSERT_NO_FATAL_FAILURE(Connect());
  clock_.Set(At(12, 6, 0));
  server_.feed->NetTimerTick();
  EXPECT_EQ(server_.feed->ClientCount(), 0);
  clock_.Set(At(12, 6, 30));
  client_.feed->DisconnectFromServer();
  ASSERT_NO_FATAL_FAILURE(Connect());
  client_.feed->DisconnectFromServer();
  ASSERT_TRUE(WaitFor([&] { return server_.feed->ClientCount() == 0; }));
  EXPECT_EQ(server_.view.tool_tip, "0 clients connected");
}

// ---- The client's filter ----

TEST_F(FeedPairTest, DatagramsFromAnyoneButTheServerAreDroppedAndCounted) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  QUdpSocket intruder;
  ASSERT_TRUE(intruder.bind(kLoopback, 0));
  intruder.writeDatagram("0123456789 FORGED RECORD", kLoopback, quint16(port_));
  intruder.writeDatagram("SERVER NOT MONITORING", kLoopback, quint16(port_));
  ASSERT_TRUE(WaitFor([&] { return client_.feed->DroppedDatagrams() == 2; }));
  server_.feed->SendToClients("genuine");
  ASSERT_TRUE(WaitFor([&] { return !client_.records.empty(); }));
  EXPECT_EQ(client_.records, std::vector<std::string>{"genuine"});
  EXPECT_EQ(client_.view.panel1, std::vector<std::string>{"Requesting data feed from server..."});
  EXPECT_EQ(client_.feed->LastDataTime(), At(12, 0, 30));
}

// A server of the test's own that answers with a given text in two pieces, so the client must
// wait for the line end, and hangs up after it when told to.
struct ScriptedServer {
  ScriptedServer(int port, QByteArray answer, bool hang_up = false) {
    listening = server.listen(kLoopback, quint16(port));
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this, answer, hang_up] {
      QTcpSocket* socket = server.nextPendingConnection();
      socket->write(answer.left(2));
      socket->flush();
      QTimer::singleShot(50, socket, [socket, answer, hang_up] {
        socket->write(answer.mid(2));
        if (hang_up) socket->disconnectFromHost();
      });
    });
  }
  QTcpServer server;
  bool listening = false;
};

TEST_F(FeedPairTest, TheClientTakesTheFeedFromThePortTheLineNames) {
  QUdpSocket feed_source;
  ASSERT_TRUE(feed_source.bind(kLoopback, 0));
  ScriptedServer server(port_, QByteArray::number(feed_source.localPort()) + "\r\n");
  ASSERT_TRUE(server.listening);
  ASSERT_TRUE(client_.feed->ConnectToServer());
  ASSERT_TRUE(WaitFor([&] { return client_.feed->FeedOpen(); }));
  feed_source.writeDatagram("named port", kLoopback, quint16(port_));
  ASSERT_TRUE(WaitFor([&] { return !client_.records.empty(); }));
  EXPECT_EQ(client_.records, std::vector<std::string>{"named port"});

  // The keep-alive goes back to that port.
  client_.feed->NetTimerTick();
  ASSERT_TRUE(WaitFor([&] { return feed_source.hasPendingDatagrams(); }));
  const QNetworkDatagram thanks = feed_source.receiveDatagram();
  EXPECT_EQ(thanks.data(), "Thanks");
  EXPECT_EQ(thanks.senderPort(), port_);

  client_.feed->DisconnectFromServer();
  ASSERT_TRUE(WaitFor([&] { return feed_source.hasPendingDatagrams(); }));
  EXPECT_EQ(feed_source.receiveDatagram().data(), "DISCONNECT");
}

TEST_F(FeedPairTest, AServerThatHangsUpAfterAnAnswerWithoutLineEndStillNamedItsPort) {
  QUdpSocket feed_source;
  ASSERT_TRUE(feed_source.bind(kLoopback, 0));
  ScriptedServer server(port_, QByteArray::number(feed_source.localPort()), true);
  ASSERT_TRUE(server.listening);
  ASSERT_TRUE(client_.feed->ConnectToServer());
  ASSERT_TRUE(WaitFor([&] { return client_.feed->FeedOpen(); }));
  feed_source.writeDatagram("record", kLoopback, quint16(port_));
  ASSERT_TRUE(WaitFor([&] { return !client_.records.empty(); }));
  EXPECT_TRUE(client_.stops.empty());
}

TEST_F(FeedPairTest, AnAnswerWithoutAPortNumberStopsTheClient) {
  ScriptedServer server(port_, "no port\r\n");
  ASSERT_TRUE(server.listening);
  ASSERT_TRUE(client_.feed->ConnectToServer());
  ASSERT_TRUE(WaitFor([&] { return !client_.boxes.shown.empty(); }));
  EXPECT_EQ(client_.boxes.shown[0].text,
            "Network error, unable to connect to server.\r\nThe server answered no port number.");
  EXPECT_EQ(client_.stops, std::vector<std::string>{""});
  EXPECT_FALSE(client_.feed->FeedOpen());
}

// ---- Binding failures ----

TEST_F(FeedPairTest, TheClientsFeedPortInUseIsReportedWithTheSystemsReason) {
  QUdpSocket occupier;
  ASSERT_TRUE(occupier.bind(kLoopback, quint16(port_)));
  ASSERT_TRUE(server_.feed->StartListening());
  ASSERT_TRUE(client_.feed->ConnectToServer());
  ASSERT_TRUE(WaitFor([&] { return !client_.boxes.shown.empty(); }));
  const RecordingMessageBoxes::Shown& shown = client_.boxes.shown[0];
  const std::string first = "Network port needing to listen on already in use.\r\n";
  EXPECT_EQ(shown.text.substr(0, first.size()), first);
  EXPECT_GT(shown.text.size(), first.size()) << "the reason";
  EXPECT_EQ(shown.text.find('\n', first.size()), std::string::npos) << "two lines";
  EXPECT_EQ(shown.title, "Kestrel");
  EXPECT_EQ(shown.icon, Icon::kNone);
  EXPECT_EQ(shown.buttons, Buttons::kOk);
  EXPECT_EQ(client_.stops, std::vector<std::string>{""});
  EXPECT_FALSE(client_.feed->FeedOpen());
}

TEST_F(FeedPairTest, OtherFeedPortFailuresAreReportedWithTheSystemsReason) {
  // An address this machine does not have (a documentation range): binding fails at once and
  // nothing is ever sent.
  FeedOptions options;
  options.bind_address = QHostAddress("192.0.2.1");
  Instance client(clock_, kSieveSourceNetwork, port_, options);
  ASSERT_TRUE(server_.feed->StartListening());
  ASSERT_TRUE(client.feed->ConnectToServer());
  ASSERT_TRUE(WaitFor([&] { return !client.boxes.shown.empty(); }));
  const std::string first = "Network error, unable to connect to server.\r\n";
  const std::string& text = client.boxes.shown[0].text;
  EXPECT_EQ(text.substr(0, first.size()), first);
  EXPECT_GT(text.size(), first.size());
  EXPECT_EQ(client.stops, std::vector<std::string>{""});
}

TEST_F(FeedPairTest, AListeningFailureIsShownOnTheNetworkButton) {
  QTcpServer occupier;
  ASSERT_TRUE(occupier.listen(kLoopback, quint16(port_)));
  EXPECT_FALSE(server_.feed->StartListening());
  EXPECT_TRUE(server_.view.net_timer) << "the timer runs regardless";
  const std::string note = "Not accepting feed clients on port " + std::to_string(port_) + ": ";
  ASSERT_EQ(server_.feed->ListenError().substr(0, note.size()), note);
  EXPECT_GT(server_.feed->ListenError().size(), note.size());
  EXPECT_EQ(server_.view.tool_tip, "0 clients connected\n" + server_.feed->ListenError());
  EXPECT_FALSE(server_.view.button_enabled);

  occupier.close();
  EXPECT_TRUE(server_.feed->StartListening());
  EXPECT_EQ(server_.feed->ListenError(), "");
  EXPECT_EQ(server_.view.tool_tip, "0 clients connected");
  EXPECT_TRUE(server_.feed->StartListening()) << "already listening";

  server_.settings.ServerPort = 0;
  EXPECT_FALSE(server_.feed->StartListening());
  EXPECT_EQ(server_.feed->ListenError(),
            "Not accepting feed clients on port 0: not a port number.");
  server_.feed->StopListening();
  EXPECT_FALSE(server_.feed->Listening());
  EXPECT_EQ(server_.view.tool_tip, "0 clients connected");
}

TEST_F(FeedPairTest, NoRequestWithoutAnAddressOrWithABadPort) {
  client_.settings.ServerAddress = "  ";
  EXPECT_FALSE(client_.feed->ConnectToServer());
  EXPECT_EQ(client_.view.Panel(), "Unable to request data feed: no server address.");
  client_.settings.ServerAddress = "127.0.0.1";
  client_.settings.ServerPort = 65536;
  EXPECT_FALSE(client_.feed->ConnectToServer());
  EXPECT_EQ(client_.view.Panel(),
            "Unable to request data feed: server port 65536 is not a port number.");
}

// ---- Losing the server, errors and reconnecting ----

TEST_F(FeedPairTest, MoreThanOneMinuteBoundaryWithoutDataLosesTheConnection) {
  ASSERT_NO_FATAL_FAILURE(Connect());  // 12:00:30
  clock_.Set(At(12, 1, 59));
  client_.feed->NetTimerTick();
  EXPECT_TRUE(client_.stops.empty()) << "1 boundary";
  clock_.Set(At(12, 2, 0));
  client_.feed->NetTimerTick();
  EXPECT_EQ(client_.stops, std::vector<std::string>{"Connection to server lost."});
  EXPECT_FALSE(client_.feed->FeedOpen());
  EXPECT_TRUE(client_.view.reconnect_timer);
  EXPECT_TRUE(client_.feed->ReconnectMode());
  EXPECT_EQ(client_.view.Panel(), "Attempting to reconnect to server in 60 seconds...");
  EXPECT_TRUE(client_.boxes.shown.empty());
  // The stop said goodbye.
  ASSERT_TRUE(WaitFor([&] { return server_.feed->ClientCount() == 0; }));
}

TEST_F(FeedPairTest, WithoutAutoReconnectTheUserIsAsked) {
  client_.settings.AutoReconnect = false;
  client_.boxes.answer = Answer::kNo;
  ASSERT_NO_FATAL_FAILURE(Connect());
  clock_.Set(At(12, 2, 0));
  client_.feed->NetTimerTick();
  ASSERT_EQ(client_.boxes.shown.size(), 1u);
  const RecordingMessageBoxes::Shown& asked = client_.boxes.shown[0];
  EXPECT_EQ(asked.text,
            "Connection to server lost.\r\n\r\nAttempt to reconnect to server every 60 seconds?");
  EXPECT_EQ(asked.title, "Kestrel Network Error");
  EXPECT_EQ(asked.icon, Icon::kStop);
  EXPECT_EQ(asked.buttons, Buttons::kYesNo);
  EXPECT_FALSE(client_.view.reconnect_timer);
  EXPECT_FALSE(client_.feed->ReconnectMode());
  EXPECT_EQ(client_.stops, std::vector<std::string>{"Connection to server lost."});

  client_.boxes.answer = Answer::kYes;
  ASSERT_NO_FATAL_FAILURE(Connect());
  clock_.Set(At(12, 4, 0));
  client_.feed->NetTimerTick();
  EXPECT_EQ(client_.boxes.shown.size(), 2u);
  EXPECT_TRUE(client_.view.reconnect_timer);
  EXPECT_TRUE(client_.feed->ReconnectMode());
  EXPECT_EQ(client_.view.Panel(), "Attempting to reconnect to server in 60 seconds...");
}

TEST_F(FeedPairTest, TheCountdownShowsTenSecondStepsAndReconnectsOnTheSixthTick) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  clock_.Set(At(12, 2, 0));
  client_.feed->NetTimerTick();
  ASSERT_TRUE(client_.view.reconnect_timer);
  ASSERT_TRUE(WaitFor([&] { return server_.feed->ClientCount() == 0; }));
  client_.view.panel1.clear();
  for (int tick = 0; tick < 5; ++tick) client_.feed->ReconnectTimerTick();
  EXPECT_EQ(client_.view.panel1,
            (std::vector<std::string>{"Attempting to reconnect to server in 50 seconds...",
                                      "Attempting to reconnect to server in 40 seconds...",
                                      "Attempting to reconnect to server in 30 seconds...",
                                      "Attempting to reconnect to server in 20 seconds...",
                                      "Attempting to reconnect to server in 10 seconds..."}));
  EXPECT_EQ(client_.starts, 0);
  EXPECT_TRUE(client_.view.reconnect_timer);
  client_.view.panel1.clear();
  client_.feed->ReconnectTimerTick();
  EXPECT_EQ(client_.starts, 1);
  EXPECT_FALSE(client_.view.reconnect_timer);
  EXPECT_EQ(client_.feed->ReconnectCount(), 0);
  ASSERT_GE(client_.view.panel1.size(), 2u);
  EXPECT_EQ(client_.view.panel1[0], "Attempting to reconnect to server...");
  EXPECT_EQ(client_.view.panel1[1], "Requesting data feed from server...");
  ASSERT_TRUE(WaitFor([&] { return client_.feed->FeedOpen() && server_.feed->ClientCount(); }));
}

TEST_F(FeedPairTest, ARequestMadeByHandEndsTheCountdown) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  clock_.Set(At(12, 2, 0));
  client_.feed->NetTimerTick();
  client_.feed->ReconnectTimerTick();
  client_.feed->ReconnectTimerTick();
  ASSERT_EQ(client_.feed->ReconnectCount(), 2);
  ASSERT_TRUE(client_.feed->ConnectToServer());
  EXPECT_FALSE(client_.view.reconnect_timer);
  EXPECT_EQ(client_.feed->ReconnectCount(), 0);
}

TEST_F(FeedPairTest, AnErrorAsksOnceThenReconnectModeReconnectsWithoutAsking) {
  // Nobody listens on the port.
  ASSERT_TRUE(client_.feed->ConnectToServer());
  ASSERT_TRUE(WaitFor([&] { return !client_.stops.empty(); }));
  const std::string prefix = "Error on network connection: ";
  ASSERT_EQ(client_.stops[0].substr(0, prefix.size()), prefix);
  const std::string description = client_.stops[0].substr(prefix.size());
  EXPECT_FALSE(description.empty());
  ASSERT_EQ(client_.boxes.shown.size(), 1u);
  EXPECT_EQ(client_.boxes.shown[0].text, "Error on connection to server: " + description +
                                             "\r\n\r\nAttempt to reconnect to server every 60 "
                                             "seconds?");
  EXPECT_EQ(client_.boxes.shown[0].title, "Kestrel Network Error");
  EXPECT_EQ(client_.boxes.shown[0].icon, Icon::kStop);
  EXPECT_EQ(client_.boxes.shown[0].buttons, Buttons::kYesNo);
  EXPECT_TRUE(client_.feed->ReconnectMode());
  EXPECT_TRUE(client_.view.reconnect_timer);
  EXPECT_EQ(client_.view.Panel(), "Attempting to reconnect to server in 60 seconds...");

  ASSERT_TRUE(client_.feed->ConnectToServer());
  EXPECT_FALSE(client_.view.reconnect_timer);
  ASSERT_TRUE(WaitFor([&] { return client_.stops.size() == 2; }));
  EXPECT_EQ(client_.boxes.shown.size(), 1u) << "no second question";
  EXPECT_TRUE(client_.view.reconnect_timer);
  EXPECT_EQ(client_.view.Panel(), "Attempting to reconnect to server in 60 seconds...");
}

TEST_F(FeedPairTest, AnErrorAnsweredNoLeavesTheClientStopped) {
  client_.boxes.answer = Answer::kNo;
  ASSERT_TRUE(client_.feed->ConnectToServer());
  ASSERT_TRUE(WaitFor([&] { return !client_.boxes.shown.empty(); }));
  EXPECT_FALSE(client_.feed->ReconnectMode());
  EXPECT_FALSE(client_.view.reconnect_timer);
  EXPECT_EQ(client_.stops.size(), 1u);
  // Nothing asked for: the timer finds nothing to lose.
  clock_.Set(At(13, 0, 0));
  client_.feed->NetTimerTick();
  EXPECT_EQ(client_.stops.size(), 1u);
}

}  // namespace
}  // namespace kestrel
