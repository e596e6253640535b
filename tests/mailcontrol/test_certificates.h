#pragma once

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace pigeon_test {

// A certificate authority and two server certificates it signed, made with the openssl tool in
// a temporary directory that lives as long as this object: `server` names 127.0.0.1 and
// localhost, `other` names other.test. Both use `key`.
class TestCertificates {
  QTemporaryDir dir_;  // first, since the paths below are made from it
  QString errors_;

 public:
  // Why the certificates cannot be made here; empty when they can.
  static QString Unavailable() {
    return QStandardPaths::findExecutable("openssl").isEmpty() ? "no openssl tool" : QString();
  }

  bool Make() {
    if (!dir_.isValid()) return Failed("no temporary directory");
    const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    return Run(QStringList{"req", "-x509"} + ec +
               QStringList{"-keyout", Path("ca.key"), "-out", ca, "-days", "2", "-subj",
                           "/CN=Pigeon Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                           "-addext", "keyUsage=critical,keyCertSign,cRLSign"}) &&
           Run(QStringList{"req", "-new"} + ec +
               QStringList{"-keyout", key, "-out", Path("server.csr"), "-subj", "/CN=127.0.0.1"}) &&
           Run({"req", "-new", "-key", key, "-out", Path("other.csr"), "-subj",
                "/CN=other.test"}) &&
           Sign("server.csr", "subjectAltName=DNS:localhost,IP:127.0.0.1", server) &&
           Sign("other.csr", "subjectAltName=DNS:other.test", other);
  }

  QString Errors() const { return errors_; }

  const QString ca = Path("ca.pem");
  const QString key = Path("server.key");
  const QString server = Path("server.pem");
  const QString other = Path("other.pem");

 private:
  QString Path(const QString& name) const { return dir_.filePath(name); }

  bool Failed(const QString& why) {
    errors_ += why + '\n';
    return false;
  }

  bool Run(const QStringList& arguments) {
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start("openssl", arguments);
    if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0) {
      return Failed(arguments.join(' ') + ": " + QString::fromLocal8Bit(openssl.readAll()));
    }
    return true;
  }

  bool Sign(const QString& csr, const QByteArray& extensions, const QString& out) {
    QFile file(Path(csr + ".ext"));
    if (!file.open(QIODevice::WriteOnly) || file.write(extensions + '\n') < 0) {
      return Failed("cannot write " + file.fileName());
    }
    file.close();
    return Run({"x509", "-req", "-in", Path(csr), "-CA", ca, "-CAkey", Path("ca.key"),
                "-CAcreateserial", "-days", "2", "-out", out, "-extfile", file.fileName()});
  }
};

}  // namespace pigeon_test
