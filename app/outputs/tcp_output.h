#pragma once

#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <string>
#include <vector>

#include "app/outputs/output.h"

class QTcpSocket;

namespace kestrel {

// Serves every line to any number of TCP clients (JSON Lines, nothing read from them). Each
// client's unsent bytes are its queue: a line that would take it past `client_queue` bytes drops
// the client instead, so a client that does not read never holds up decoding or the others. A
// failed listen is reported and tried again every `retry`. Runs on the thread that owns it
// (the event loop's).
class TcpOutput : public QObject, public Output {
  Q_OBJECT

 public:
  TcpOutput(std::string address, uint16_t port, int64_t client_queue, OutputReport report,
            std::chrono::milliseconds retry = std::chrono::seconds(10));
  ~TcpOutput() override;

  void Write(const EventLine& line) override;
  void Finish(std::chrono::milliseconds wait) override;
  OutputStatus Status() const override;

  // The port listened on (the chosen one when configured as 0); 0 while not listening.
  uint16_t ListeningPort() const;
  int ClientCount() const { return int(clients_.size()); }

 private:
  void Listen();
  void Accept();
  void Drop(QTcpSocket* client, const char* why);

  std::string address_;
  uint16_t port_;
  int64_t client_queue_;
  OutputReport report_;
  QTcpServer server_;
  QTimer retry_;
  std::vector<QTcpSocket*> clients_;
  bool failing_ = false;
  OutputStatus status_;
};

}  // namespace kestrel
