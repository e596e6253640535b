#include "app/outputs/tcp_output.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <algorithm>

namespace kestrel {

TcpOutput::TcpOutput(std::string address, uint16_t port, int64_t client_queue, OutputReport report,
                     std::chrono::milliseconds retry)
    : address_(std::move(address)),
      port_(port),
      client_queue_(client_queue),
      report_(std::move(report)) {
  status_.name = "TCP";
  retry_.setInterval(int(retry.count()));
  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, &TcpOutput::Listen);
  connect(&server_, &QTcpServer::newConnection, this, &TcpOutput::Accept);
  Listen();
}

TcpOutput::~TcpOutput() {
  for (QTcpSocket* client : clients_) {
    client->disconnect(this);
    client->abort();
    delete client;
  }
}

void TcpOutput::Listen() {
  QHostAddress host;
  if (!host.setAddress(QString::fromStdString(address_))) {
    status_.state = "failing: " + address_ + " is not an IP address";
    ++status_.failures;
    report_("TCP output: " + address_ + " is not an IP address; the output is off");
    return;
  }
  if (server_.listen(host, port_)) {
    if (failing_) report_("TCP output: listening on port " + std::to_string(ListeningPort()));
    failing_ = false;
    return;
  }
  const std::string error = server_.errorString().toStdString();
  status_.state = "failing: " + error;
  if (!failing_) {
    ++status_.failures;
    report_("TCP output: cannot listen on " + address_ + " port " + std::to_string(port_) + ": " +
            error + "; retrying");
  }
  failing_ = true;
  retry_.start();
}

uint16_t TcpOutput::ListeningPort() const {
  return server_.isListening() ? server_.serverPort() : 0;
}

void TcpOutput::Accept() {
  while (QTcpSocket* client = server_.nextPendingConnection()) {
    client->setParent(nullptr);
    // The kernel's buffer for the client stays about the size of its queue, so the limit is
    // what decides when a client that does not read is dropped.
    client->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption,
                            int(std::min<int64_t>(client_queue_, 64 * 1024)));
    clients_.push_back(client);
    // Clients only listen; whatever they send is thrown away, so it cannot pile up.
    connect(client, &QTcpSocket::readyRead, this, [client] { client->readAll(); });
    connect(client, &QTcpSocket::disconnected, this, [this, client] { Drop(client, nullptr); });
  }
}

void TcpOutput::Drop(QTcpSocket* client, const char* why) {
  const auto found = std::find(clients_.begin(), clients_.end(), client);
  if (found == clients_.end()) return;
  clients_.erase(found);
  if (why != nullptr) {
    ++status_.failures;
    report_("TCP output: client " + client->peerAddress().toString().toStdString() + " port " +
            std::to_string(client->peerPort()) + " dropped: " + why);
  }
  client->disconnect(this);
  client->abort();
  client->deleteLater();
}

void TcpOutput::Write(const EventLine& line) {
  const auto size = qint64(line.json.size());
  // A copy: a drop edits the list.
  const std::vector<QTcpSocket*> clients = clients_;
  for (QTcpSocket* client : clients) {
    if (client->bytesToWrite() + size > client_queue_) {
      status_.dropped += 1;
      Drop(client, "its queue passed the limit");
      continue;
    }
    client->write(line.json.data(), size);
    ++status_.written;
  }
}

void TcpOutput::Finish(std::chrono::milliseconds wait) {
  server_.close();
  const QDeadlineTimer deadline(wait.count());
  for (QTcpSocket* client : clients_) {
    while (client->bytesToWrite() > 0 && !deadline.hasExpired() &&
           client->waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime())))) {
    }
    client->disconnectFromHost();
  }
}

OutputStatus TcpOutput::Status() const {
  OutputStatus status = status_;
  if (server_.isListening()) {
    status.state = "port " + std::to_string(ListeningPort()) + ", " +
                   std::to_string(clients_.size()) + " clients";
  }
  return status;
}

}  // namespace kestrel
