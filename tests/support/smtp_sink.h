#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

namespace kestrel_test {

// A real SMTP server (aiosmtpd, through tests/mailcontrol/smtp_sink.py) on a free loopback port
// that keeps every message it accepts. Needs a QCoreApplication.
class SmtpSink {
 public:
  // Debian's interpreter: another python3 on the PATH may not see the packaged aiosmtpd.
  static constexpr const char* kPython = "/usr/bin/python3";

  ~SmtpSink() { Stop(); }

  // Why the server cannot run here (no interpreter or module); empty when it can.
  static QString Unavailable() {
    if (!QFileInfo(kPython).isExecutable()) return QString("no ") + kPython;
    if (QProcess::execute(kPython, {"-c", "import aiosmtpd"}) != 0) {
      return "the aiosmtpd module is not installed";
    }
    return {};
  }

  // Starts the server and waits until it accepts connections. `options` follow the port and
  // directory on the script's command line.
  bool Start(const QString& script, const QStringList& options = {}) {
    if (!dir_.isValid()) return false;
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return false;
    port_ = probe.serverPort();
    probe.close();
    server_.start(kPython, QStringList{script, QString::number(port_), dir_.path()} + options);
    if (!server_.waitForStarted(5000)) return false;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && server_.state() == QProcess::Running) {
      QTcpSocket connection;
      connection.connectToHost(QHostAddress::LocalHost, port_);
      if (connection.waitForConnected(500)) return true;
      QThread::msleep(100);
    }
    return false;
  }

  void Stop() {
    if (server_.state() == QProcess::NotRunning) return;
    server_.terminate();
    if (!server_.waitForFinished(5000)) {
      server_.kill();
      server_.waitForFinished();
    }
  }

  QString Host() const { return "127.0.0.1:" + QString::number(port_); }
  QString Errors() { return QString::fromUtf8(server_.readAllStandardError()); }
  // Message n (from 1): ".from" envelope sender, ".rcpt" recipients, ".eml" the content.
  QByteArray Stored(int n, const char* part) const {
    QFile file(dir_.filePath(QString::number(n) + part));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  int Count() const { return int(QDir(dir_.path()).entryList({"*.eml"}, QDir::Files).size()); }

 private:
  QTemporaryDir dir_;
  quint16 port_ = 0;
  QProcess server_;
};

}  // namespace kestrel_test
