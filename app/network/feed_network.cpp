#include "app/network/feed_network.h"

#include <QNetworkDatagram>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>

namespace kestrel {
namespace {

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;

constexpr std::string_view kNotMonitoring = "SERVER NOT MONITORING";
constexpr std::string_view kThanks = "Thanks";
constexpr std::string_view kDisconnect = "DISCONNECT";
constexpr std::string_view kConnectionLost = "Connection to server lost.";
constexpr std::string_view kReconnectIn60 = "Attempting to reconnect to server in 60 seconds...";
constexpr std::string_view kReconnectQuestion =
    "\r\n\r\nAttempt to reconnect to server every 60 seconds?";
constexpr std::string_view kNetworkErrorTitle = "Kestrel Network Error";
constexpr std::string_view kPortInUse = "Network port needing to listen on already in use.";
constexpr std::string_view kUnableToConnect = "Network error, unable to connect to server.";
// A port line is a few digits; more than this without a line end is not one.
constexpr qsizetype kMaxAnswer = 64;

QByteArray Bytes(std::string_view text) { return QByteArray(text.data(), qsizetype(text.size())); }

bool Equals(const QByteArray& data, std::string_view text) {
  return data.size() == qsizetype(text.size()) &&
         std::equal(text.begin(), text.end(), data.constData());
}

// IPv4 peers of a dual-stack socket show as ::ffff:a.b.c.d; the list and the filters use the
// plain IPv4 form.
QHostAddress Plain(const QHostAddress& address) {
  bool v4 = false;
  const quint32 ip = address.toIPv4Address(&v4);
  return v4 ? QHostAddress(ip) : address;
}

// The leading decimal number of the server's answer, blanks before it skipped; 0 when there is
// none or it is no port number.
int AnswerPort(const QByteArray& answer) {
  qsizetype i = 0;
  while (i < answer.size() && (answer[i] == ' ' || answer[i] == '\t')) ++i;
  int port = 0;
  for (; i < answer.size() && answer[i] >= '0' && answer[i] <= '9'; ++i) {
    port = port * 10 + (answer[i] - '0');
    if (port > 65535) return 0;
  }
  return port;
}

bool ValidPort(int port) { return port >= 1 && port <= 65535; }

// Errors that lose one datagram rather than the connection.
bool Fatal(QAbstractSocket::SocketError error) {
  return error != QAbstractSocket::TemporaryError &&
         error != QAbstractSocket::DatagramTooLargeError;
}

}  // namespace

FeedNetworkQt::FeedNetworkQt(const FeedServices& services, const FeedOptions& options,
                             QObject* parent)
    : QObject(parent),
      s_(services),
      options_(options),
      connections_(services.clock),
      server_(new QTcpServer(this)) {
  connect(server_, &QTcpServer::newConnection, this, &FeedNetworkQt::AcceptRequests);
  connect(server_, &QTcpServer::acceptError, this, [this] {
    server_->close();
    StartListening();
  });
}

// Sockets are children: QObject cuts their connections to this object before deleting them.
FeedNetworkQt::~FeedNetworkQt() = default;

bool FeedNetworkQt::IsServer() const { return s_.settings.SieveSource != kSieveSourceNetwork; }

// ---- Server ----

void FeedNetworkQt::ApplyNetworkButton() {
  // On the client the button names the server it is connected to.
  if (!IsServer()) return;
  const int count = ClientCount();
  std::string tip = std::to_string(count) + " clients connected";
  if (!listen_error_.empty()) tip += "\n" + listen_error_;
  s_.view.SetNetworkButton(count > 0, tip);
}

bool FeedNetworkQt::StartListening() {
  s_.view.SetNetTimer(true);
  const int port = s_.settings.ServerPort;
  if (server_->isListening()) {
    if (server_->serverPort() == port) return true;
    server_->close();
  }
  const bool noted = !listen_error_.empty();
  listen_error_.clear();
  const std::string on_port = "Not accepting feed clients on port " + std::to_string(port) + ": ";
  bool listening = false;
  if (!ValidPort(port))
    listen_error_ = on_port + "not a port number.";
  else if (!(listening = server_->listen(options_.bind_address, quint16(port))))
    listen_error_ = on_port + server_->errorString().toStdString();
  if (!listening || noted) ApplyNetworkButton();
  return listening;
}

void FeedNetworkQt::StopListening() {
  server_->close();
  if (listen_error_.empty()) return;
  listen_error_.clear();
  ApplyNetworkButton();
}

bool FeedNetworkQt::Listening() const { return server_->isListening(); }

void FeedNetworkQt::AcceptRequests() {
  while (QTcpSocket* request = server_->nextPendingConnection()) {
    if (RequestsInProgress() >= options_.max_requests) {
      request->abort();
      request->deleteLater();
      continue;
    }
    AnswerRequest(request);
  }
}

void FeedNetworkQt::AnswerRequest(QTcpSocket* request) {
  const QHostAddress peer = Plain(request->peerAddress());
  const std::string ip = peer.toString().toStdString();
  s_.view.SetStatusPanel(1, "Client " + ip + " requesting feed");
  // One feed per address: a new request replaces the old client.
  for (int position = ClientCount(); position >= 1; --position) {
    if (connections_.RemoteHost(position) == ip) DropClient(connections_.Index(position));
  }

  requests_.push_back(request);
  // The requester has nothing to say; what it sends is discarded.
  connect(request, &QTcpSocket::readyRead, this, [request] { request->readAll(); });
  connect(request, &QTcpSocket::disconnected, this, [this, request] { DropRequest(request); });
  connect(request, &QTcpSocket::errorOccurred, this, [this, request] { DropRequest(request); });
  QTimer::singleShot(options_.request_timeout, request, [this, request] { DropRequest(request); });

  const int index = connections_.Add(ip);
  auto* socket = new QUdpSocket(this);
  if (!socket->bind(options_.bind_address, 0, QAbstractSocket::DontShareAddress)) {
    // No port to name: the requester sees its connection closed unanswered.
    delete socket;
    connections_.Remove(index);
    DropRequest(request);
    ApplyNetworkButton();
    return;
  }
  clients_[index] = {socket, peer, quint16(s_.settings.ServerPort)};
  connect(socket, &QUdpSocket::readyRead, this, [this, index] { ReadClient(index); });
  connect(socket, &QUdpSocket::errorOccurred, this, [this, index](QAbstractSocket::SocketError e) {
    if (Fatal(e)) DropClient(index);
  });
  request->write(QByteArray::number(socket->localPort()) + "\r\n");
  ApplyNetworkButton();
}

void FeedNetworkQt::DropRequest(QTcpSocket* request) {
  const auto found = std::find(requests_.begin(), requests_.end(), request);
  if (found == requests_.end()) return;
  requests_.erase(found);
  request->disconnect(this);
  request->abort();
  request->deleteLater();
}

void FeedNetworkQt::ReadClient(int index) {
  for (;;) {
    const auto found = clients_.find(index);
    if (found == clients_.end()) return;
    const ClientFeed client = found->second;
    if (!client.socket->hasPendingDatagrams()) return;
    const QNetworkDatagram datagram = client.socket->receiveDatagram();
    if (!datagram.isValid()) return DropClient(index);
    if (Plain(datagram.senderAddress()) != client.address) {
      ++dropped_;
      continue;
    }
    if (Equals(datagram.data(), kDisconnect)) return DropClient(index);
    connections_.UpdateTime(index);
  }
}

void FeedNetworkQt::DropClient(int index) {
  const auto found = clients_.find(index);
  if (found != clients_.end()) {
    QUdpSocket* socket = found->second.socket;
    clients_.erase(found);
    socket->disconnect(this);
    socket->close();
    // It may be the sender whose signal is being handled.
    socket->deleteLater();
  }
  connections_.Remove(index);
  ApplyNetworkButton();
}

void FeedNetworkQt::ForwardToClients(const std::string& record) { SendToClients(record); }

void FeedNetworkQt::SendToClients(std::string_view text) {
  const QByteArray data = Bytes(text);
  // A failed send drops its client at once, so the list is taken first.
  std::vector<int> indexes;
  for (int position = 1; position <= ClientCount(); ++position)
    indexes.push_back(connections_.Index(position));
  for (int index : indexes) {
    const auto found = clients_.find(index);
    if (found == clients_.end()) continue;
    const ClientFeed client = found->second;
    if (client.socket->state() != QAbstractSocket::BoundState) continue;
    client.socket->writeDatagram(data, client.address, client.port);
  }
}

void FeedNetworkQt::CloseClients() {
  while (ClientCount() > 0) DropClient(connections_.Index(1));
  for (QTcpSocket* request : std::vector<QTcpSocket*>(requests_)) DropRequest(request);
}

std::vector<std::string> FeedNetworkQt::ClientHosts() const {
  std::vector<std::string> hosts;
  for (int position = 1; position <= ClientCount(); ++position)
    hosts.push_back(connections_.RemoteHost(position));
  return hosts;
}

quint16 FeedNetworkQt::ClientFeedPort(int index) const {
  const auto found = clients_.find(index);
  if (found == clients_.end() || found->second.socket->state() != QAbstractSocket::BoundState)
    return 0;
  return found->second.socket->localPort();
}

void FeedNetworkQt::ServerTick() {
  for (int index : connections_.GoneIndexes()) DropClient(index);
  if (ClientCount() >= 1 && !s_.settings.Monitoring) SendToClients(kNotMonitoring);
}

// ---- Client ----

bool FeedNetworkQt::ConnectToServer() {
  DisconnectFromServer();
  // A request made by hand ends a countdown to one.
  if (reconnect_timer_on_) SetReconnectTimer(false);
  reconnect_count_ = 0;
  s_.view.SetStatusPanel(1, "Requesting data feed from server...");
  const QString host = QString::fromStdString(s_.settings.ServerAddress).trimmed();
  const int port = s_.settings.ServerPort;
  if (host.isEmpty() || !ValidPort(port)) {
    s_.view.SetStatusPanel(1, host.isEmpty()
                                  ? std::string("Unable to request data feed: no server address.")
                                  : "Unable to request data feed: server port " +
                                        std::to_string(port) + " is not a port number.");
    return false;
  }
  // A request that never completes counts as a lost feed.
  last_data_time_ = s_.clock.Now();
  answer_.clear();
  request_ = new QTcpSocket(this);
  // Noted now: the address goes with the connection once the server hangs up.
  connect(request_, &QTcpSocket::connected, this,
          [this] { server_address_ = Plain(request_->peerAddress()); });
  connect(request_, &QTcpSocket::readyRead, this, &FeedNetworkQt::ReadAnswer);
  connect(request_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
    answer_ += request_->read(kMaxAnswer - answer_.size());
    // A server that hangs up straight after a short answer still named its port.
    if (error == QAbstractSocket::RemoteHostClosedError && !answer_.isEmpty())
      return UseAnswer(answer_);
    ConnectionFailed(request_->errorString().toStdString());
  });
  request_->connectToHost(host, quint16(port));
  // A failure reported within the call has already stopped monitoring.
  return request_ != nullptr;
}

void FeedNetworkQt::ReadAnswer() {
  answer_ += request_->read(kMaxAnswer - answer_.size());
  const qsizetype end = answer_.indexOf("\r\n");
  if (end >= 0) return UseAnswer(answer_.left(end));
  if (answer_.size() >= kMaxAnswer) UseAnswer(answer_);
}

void FeedNetworkQt::UseAnswer(const QByteArray& answer) {
  const int port = AnswerPort(answer);
  CloseRequest();
  auto* feed = new QUdpSocket(this);
  const bool bound = port != 0 && feed->bind(options_.bind_address, quint16(s_.settings.ServerPort),
                                             QAbstractSocket::DontShareAddress);
  if (!bound) {
    // The system's reason tells the user, for one, that ports below 1024 need privileges.
    const std::string text =
        port == 0
            ? std::string(kUnableToConnect) + "\r\nThe server answered no port number."
            : std::string(feed->error() == QAbstractSocket::AddressInUseError ? kPortInUse
                                                                              : kUnableToConnect) +
                  "\r\n" + feed->errorString().toStdString();
    delete feed;
    s_.boxes.Show(text, "Kestrel", Icon::kNone, Buttons::kOk);
    s_.stop_monitoring("");
    return;
  }
  feed_ = feed;
  server_feed_port_ = quint16(port);
  connect(feed_, &QUdpSocket::readyRead, this, &FeedNetworkQt::ReadFeed);
  connect(feed_, &QUdpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
    if (Fatal(error)) ConnectionFailed(feed_->errorString().toStdString());
  });
  s_.view.SetNetworkButton(true, "Connected to " + s_.settings.ServerAddress);
  last_data_time_ = s_.clock.Now();
}

void FeedNetworkQt::ReadFeed() {
  QUdpSocket* const socket = feed_;
  const QPointer<QUdpSocket> alive(socket);
  // A record's processing may stop the feed, even in a nested event loop.
  while (alive && feed_ == socket && socket->hasPendingDatagrams()) {
    const QNetworkDatagram datagram = socket->receiveDatagram();
    if (!datagram.isValid()) return;
    if (datagram.senderPort() != server_feed_port_ ||
        Plain(datagram.senderAddress()) != server_address_) {
      ++dropped_;
      continue;
    }
    last_data_time_ = s_.clock.Now();
    const QByteArray data = datagram.data();
    if (Equals(data, kNotMonitoring)) {
      s_.view.SetStatusPanel(
          1, "Connected to server but server not monitoring MDT data at this time.");
    } else {
      s_.process_record(std::string(data.constData(), size_t(data.size())));
    }
  }
}

void FeedNetworkQt::CloseRequest() {
  if (request_ == nullptr) return;
  request_->disconnect(this);
  request_->close();
  request_->deleteLater();
  request_ = nullptr;
}

void FeedNetworkQt::CloseFeed() {
  if (feed_ == nullptr) return;
  feed_->disconnect(this);
  feed_->close();
  feed_->deleteLater();
  feed_ = nullptr;
  server_feed_port_ = 0;
}

void FeedNetworkQt::DisconnectFromServer() {
  CloseRequest();
  if (feed_ == nullptr) return;
  QUdpSocket* const feed = feed_;
  // A failing send must not re-enter through the error handler.
  feed->disconnect(this);
  if (feed->state() == QAbstractSocket::BoundState)
    feed->writeDatagram(Bytes(kDisconnect), server_address_, server_feed_port_);
  CloseFeed();
}

void FeedNetworkQt::ConnectionFailed(const std::string& description) {
  s_.stop_monitoring("Error on network connection: " + description);
  DisconnectFromServer();
  if (reconnect_mode_)
    StartReconnecting();
  else
    AskToReconnect("Error on connection to server: " + description);
}

void FeedNetworkQt::AskToReconnect(const std::string& reason) {
  if (s_.boxes.Show(reason + std::string(kReconnectQuestion), kNetworkErrorTitle, Icon::kStop,
                    Buttons::kYesNo) == MessageBoxes::Answer::kYes)
    StartReconnecting();
}

void FeedNetworkQt::StartReconnecting() {
  SetReconnectTimer(true);
  reconnect_mode_ = true;
  s_.view.SetStatusPanel(1, kReconnectIn60);
}

void FeedNetworkQt::SetReconnectTimer(bool on) {
  reconnect_timer_on_ = on;
  s_.view.SetReconnectTimer(on);
}

void FeedNetworkQt::ClientTick() {
  // Nothing asked for, nothing to lose.
  if (request_ == nullptr && feed_ == nullptr) return;
  if (feed_ != nullptr) feed_->writeDatagram(Bytes(kThanks), server_address_, server_feed_port_);
  if (request_ == nullptr && feed_ == nullptr) return;  // the send failed and stopped the feed
  if (MinuteBoundaries(last_data_time_, s_.clock.Now()) <= 1) return;
  s_.stop_monitoring(kConnectionLost);
  DisconnectFromServer();
  if (s_.settings.AutoReconnect)
    StartReconnecting();
  else
    AskToReconnect(std::string(kConnectionLost));
}

void FeedNetworkQt::NetTimerTick() {
  if (IsServer())
    ServerTick();
  else
    ClientTick();
}

void FeedNetworkQt::ReconnectTimerTick() {
  if (reconnect_count_ > 4) {
    reconnect_count_ = 0;
    s_.view.SetStatusPanel(1, "Attempting to reconnect to server...");
    SetReconnectTimer(false);
    s_.start_monitoring();
    return;
  }
  ++reconnect_count_;
  s_.view.SetStatusPanel(1, "Attempting to reconnect to server in " +
                                std::to_string((6 - reconnect_count_) * 10) + " seconds...");
}

}  // namespace kestrel
