#pragma once

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>
#include <functional>
#include <map>

namespace pigeon_test {

// An SMTP server on loopback that answers each command by its verb. It runs on the events
// that Send dispatches while it waits. With a certificate it can also speak TLS: from the
// first byte (implicit_tls) or after a "220" reply to STARTTLS.
class ScriptedServer {
 public:
  explicit ScriptedServer(const QHostAddress& address = QHostAddress::LocalHost) {
    listening = server_.listen(address, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { Accept(); });
  }

  QString Host() const { return "127.0.0.1:" + QString::number(server_.serverPort()); }
  quint16 Port() const { return server_.serverPort(); }
  void Drop() {
    if (client_ != nullptr) client_->abort();
  }

  bool UseCertificate(const QString& certificate_file, const QString& key_file) {
    QFile key(key_file);
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificate_file);
    if (chain.isEmpty() || !key.open(QIODevice::ReadOnly)) return false;
    tls_.setLocalCertificate(chain.front());
    tls_.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec));
    tls_.setPeerVerifyMode(QSslSocket::VerifyNone);
    return !tls_.privateKey().isNull();
  }

  // "" is the greeting, "." the end of the data; an empty reply is never sent.
  std::map<QByteArray, QByteArray> replies = {
      {"", "220 ready\r\n"},
      {"HELO", "250 hello\r\n"},
      {"EHLO", "250-hello\r\n250-STARTTLS\r\n250 AUTH LOGIN PLAIN\r\n"},
      {"STARTTLS", "220 go ahead\r\n"},
      {"AUTH", "235 welcome\r\n"},
      {"MAIL", "250 ok\r\n"},
      {"RCPT", "250 ok\r\n"},
      {"DATA", "354 go on\r\n"},
      {".", "250 queued\r\n"},
      {"QUIT", "221 bye\r\n"}};
  // Consulted first for every command line and "." (the end of the data); a non-empty result
  // is the reply.
  std::function<QByteArray(const QByteArray& line)> script;
  QByteArray drop_at;  // verb that gets the connection closed instead of a reply
  int delay_ms = 0;    // before every reply
  int piece_size = 0;  // > 0: replies go out in pieces this long, 20 ms apart
  std::function<void(QTcpSocket&)> greet;  // replaces the greeting
  bool implicit_tls = false;

  bool listening = false;
  QByteArray received;        // everything, decrypted
  QByteArray clear_received;  // what arrived before encryption
  int connections = 0;

 private:
  // Hands out QSslSockets, so that any connection can turn to TLS.
  class Server : public QTcpServer {
   protected:
    void incomingConnection(qintptr descriptor) override {
      auto* socket = new QSslSocket(this);
      if (socket->setSocketDescriptor(descriptor)) {
        addPendingConnection(socket);
      } else {
        delete socket;
      }
    }
  };

  void Accept() {
    auto* socket = static_cast<QSslSocket*>(server_.nextPendingConnection());
    ++connections;
    client_ = socket;
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Read(*socket); });
    if (implicit_tls) {
      QObject::connect(socket, &QSslSocket::encrypted, socket, [this, socket] { Greet(*socket); });
      socket->setSslConfiguration(tls_);
      socket->startServerEncryption();
    } else {
      Greet(*socket);
    }
  }

  void Greet(QSslSocket& socket) {
    if (greet) {
      greet(socket);
    } else {
      Answer(socket, "", "");
    }
  }

  void Read(QSslSocket& socket) {
    const QByteArray data = socket.readAll();
    received += data;
    if (!socket.isEncrypted()) clear_received += data;
    pending_ += data;
    for (;;) {
      const QByteArray end = in_data_ ? "\r\n.\r\n" : "\r\n";
      const qsizetype at = pending_.indexOf(end);
      if (at < 0) return;
      const QByteArray line = pending_.left(at);
      const QByteArray verb = in_data_ ? "." : line.split(' ').front().toUpper();
      pending_.remove(0, at + end.size());
      in_data_ = verb == "DATA" && replies[verb].startsWith("354");
      if (!Answer(socket, verb, in_data_ ? QByteArray() : verb == "." ? verb : line)) return;
    }
  }

  bool Answer(QSslSocket& socket, const QByteArray& verb, const QByteArray& line) {
    if (!drop_at.isEmpty() && verb == drop_at) {
      socket.abort();
      return false;
    }
    const QByteArray scripted = script && !line.isEmpty() ? script(line) : QByteArray();
    const QByteArray reply = scripted.isEmpty() ? replies[verb] : scripted;
    if (verb == "STARTTLS" && reply.startsWith("220")) {
      socket.write(reply);
      socket.setSslConfiguration(tls_);
      socket.startServerEncryption();
      return true;
    }
    if (delay_ms == 0 && piece_size == 0) {
      // At once, so a reply goes out even when no event loop runs any more.
      socket.write(reply);
      socket.flush();
      return true;
    }
    const qsizetype piece = piece_size > 0 ? piece_size : reply.size();
    for (qsizetype at = 0, k = 0; at < reply.size(); at += piece, ++k) {
      QTimer::singleShot(delay_ms + 20 * int(k), &socket,
                         [&socket, part = reply.mid(at, piece)] { socket.write(part); });
    }
    return true;
  }

  Server server_;
  QSslSocket* client_ = nullptr;
  QSslConfiguration tls_;
  QByteArray pending_;
  bool in_data_ = false;
};

}  // namespace pigeon_test
