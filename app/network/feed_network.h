#pragma once

#include <QHostAddress>
#include <QObject>
#include <QtGlobal>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/acquisition/other_sources.h"
#include "app/network/network_connections.h"
#include "app/platform/clock.h"
#include "app/platform/message_box.h"
#include "app/profile/settings.h"

class QTcpServer;
class QTcpSocket;
class QUdpSocket;

namespace kestrel {

// What the feed changes on the main window. The signatures are MonitoringView's, so one
// implementation in the window serves both.
class FeedView {
 public:
  virtual ~FeedView() = default;
  // The feed writes panel 1 only.
  virtual void SetStatusPanel(int panel, std::string_view text) = 0;
  // The "network" toolbar button.
  virtual void SetNetworkButton(bool enabled, std::string_view tool_tip) = 0;
  // NetTimer: every 65535 ms it calls FeedNetworkQt::NetTimerTick.
  virtual void SetNetTimer(bool enabled) = 0;
  // ReconnectTimer: every 10000 ms it calls FeedNetworkQt::ReconnectTimerTick.
  virtual void SetReconnectTimer(bool enabled) = 0;
};

// What the feed reaches. Everything is borrowed and must outlive the feed.
struct FeedServices {
  Settings& settings;
  const Clock& clock;
  MessageBoxes& boxes;
  FeedView& view;
  // Each record the client receives, bytes unchanged.
  std::function<void(const std::string& record)> process_record;
  // Monitoring's StopMonitoring: `status` for panel 1, "" for the usual text. Expected to call
  // DisconnectFromServer.
  std::function<void(std::string_view status)> stop_monitoring;
  // Monitoring's StartMonitoring: expected to call ConnectToServer.
  std::function<void()> start_monitoring;
};

struct FeedOptions {
  // The local address the server listens on and every datagram socket binds to.
  QHostAddress bind_address = QHostAddress(QHostAddress::Any);
  // A requesting connection that has not hung up this long after its answer is closed.
  std::chrono::milliseconds request_timeout{30000};
  // Requests answered at once; further ones are closed unanswered until some finish.
  int max_requests = 32;
};

// The network feed over Qt Network, both ends.
//
// Server (data source other than the network): listens on TCP ServerPort. Each request gets a
// datagram socket of its own on a free port; the server answers the port number in decimal plus
// CR LF and sends every record, unchanged, as one datagram from that socket to the requester's
// address at ServerPort. The client's "Thanks" keeps it listed; "DISCONNECT", a socket error or
// more than 5 minute boundaries of silence drop it. A new request from a listed address replaces
// that client. Requests are answered while listening goes on; a requester that has not hung up
// within `request_timeout` is cut off. Clients are known by their IP address text: accepted
// sockets carry no resolved host name. Only datagrams from the client's address count. After
// every change of the list the "network" button shows the count (" clients connected"), enabled
// from 1 client, with the reason on a second line while listening has failed.
//
// Client (the network source): asks ServerAddress:ServerPort over TCP, then binds UDP ServerPort
// and takes datagrams from exactly the server's address and the port it named; any other
// datagram is dropped and counted, so no other host can inject records. It sends "Thanks" on
// each NetTimer tick and "DISCONNECT" when it stops. A loss (more than one minute boundary
// without a datagram) or a socket error stops monitoring and, as the user allows, counts down
// 60 seconds on ReconnectTimer and asks again.
//
// Runs on the thread that owns it (the window's), from socket and timer events. The callbacks may
// run nested event loops (message boxes) and may re-enter the feed.
class FeedNetworkQt : public QObject, public FeedNetwork {
  Q_OBJECT

 public:
  explicit FeedNetworkQt(const FeedServices& services, const FeedOptions& options = {},
                         QObject* parent = nullptr);
  ~FeedNetworkQt() override;

  // Server side.
  int ClientCount() const override { return connections_.Count(); }
  // As SendToClients.
  void ForwardToClients(const std::string& record) override;
  // One datagram to every client whose socket is open, in list order.
  void SendToClients(std::string_view text) override;
  // Enables NetTimer, then listens on ServerPort; false (with ListenError) when it cannot.
  bool StartListening() override;
  void StopListening() override;
  // Closes every client's socket and forgets the clients, and cuts off pending requests.
  void CloseClients() override;

  // Client side. Asks the server for the feed and ends a running reconnect countdown; false, with
  // the reason in panel 1, when no request can be made (no server address, or ServerPort outside
  // 1..65535). Failures after that arrive as events and stop monitoring.
  bool ConnectToServer() override;
  void DisconnectFromServer() override;

  // NetTimer: the server drops silent clients and repeats the not-monitoring notice; the client
  // sends its keep-alive and checks for a lost feed.
  void NetTimerTick();
  // ReconnectTimer: counts 50, 40, 30, 20, 10 seconds, then asks for the feed again.
  void ReconnectTimerTick();

  // The clients' hosts in list order, for the connected-clients window.
  std::vector<std::string> ClientHosts() const;
  const NetworkConnections& Connections() const { return connections_; }
  // The local port a client's datagrams leave from; 0 when its socket is not open.
  quint16 ClientFeedPort(int index) const;
  bool Listening() const;
  // Why the last StartListening failed, with the system's words, as the network button's tool tip
  // shows it on a second line; "" once listening or stopped.
  const std::string& ListenError() const { return listen_error_; }
  int RequestsInProgress() const { return int(requests_.size()); }

  // The client's datagram socket is bound and the feed is expected.
  bool FeedOpen() const { return feed_ != nullptr; }
  // Datagrams that came from anywhere but the expected peer, on either side.
  int DroppedDatagrams() const { return dropped_; }
  // Run-time feed state (not saved).
  Clock::TimePoint LastDataTime() const { return last_data_time_; }
  bool ReconnectMode() const { return reconnect_mode_; }
  int ReconnectCount() const { return reconnect_count_; }

 private:
  struct ClientFeed {
    QUdpSocket* socket;
    QHostAddress address;
    quint16 port;
  };

  bool IsServer() const;
  void ApplyNetworkButton();
  void AcceptRequests();
  void AnswerRequest(QTcpSocket* request);
  void DropRequest(QTcpSocket* request);
  void ReadClient(int index);
  void DropClient(int index);
  void ServerTick();

  void ReadAnswer();
  void UseAnswer(const QByteArray& answer);
  void ReadFeed();
  void CloseRequest();
  void CloseFeed();
  void ConnectionFailed(const std::string& description);
  void AskToReconnect(const std::string& reason);
  void StartReconnecting();
  void SetReconnectTimer(bool on);
  void ClientTick();

  FeedServices s_;
  FeedOptions options_;
  NetworkConnections connections_;
  std::map<int, ClientFeed> clients_;  // by index
  QTcpServer* server_;
  std::vector<QTcpSocket*> requests_;
  std::string listen_error_;

  QTcpSocket* request_ = nullptr;  // the client's request, until answered
  QByteArray answer_;
  QUdpSocket* feed_ = nullptr;  // the client's datagram socket once bound
  QHostAddress server_address_;
  quint16 server_feed_port_ = 0;
  Clock::TimePoint last_data_time_{};
  bool reconnect_mode_ = false;
  bool reconnect_timer_on_ = false;
  int reconnect_count_ = 0;
  int dropped_ = 0;
};

}  // namespace kestrel
