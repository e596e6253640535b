#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// The other data sources as monitoring reaches them.

// The network feed as monitoring reaches it: the server that forwards decoded records to other
// instances, and the client that monitors another instance's feed.
class FeedNetwork {
 public:
  virtual ~FeedNetwork() = default;
  // Server side.
  virtual int ClientCount() const = 0;
  virtual void ForwardToClients(const std::string& record) = 0;
  virtual void SendToClients(std::string_view text) = 0;
  // Starts accepting clients; failures are the caller's to ignore.
  virtual bool StartListening() = 0;
  virtual void StopListening() = 0;
  virtual void CloseClients() = 0;
  // Client side: false when the connection could not be requested.
  virtual bool ConnectToServer() = 0;
  // Sends "DISCONNECT" when connected, then closes the connection.
  virtual void DisconnectFromServer() = 0;
};

// No feed: no clients, and a server that cannot be reached.
class NoFeedNetwork : public FeedNetwork {
 public:
  int ClientCount() const override { return 0; }
  void ForwardToClients(const std::string&) override {}
  void SendToClients(std::string_view) override {}
  bool StartListening() override { return false; }
  void StopListening() override {}
  void CloseClients() override {}
  bool ConnectToServer() override { return false; }
  void DisconnectFromServer() override {}
};

// The receivers on a serial port: the RM100 interface and the data slicer. Each operation
// reports its own failures except where noted; Open/Load/Close/Unload answer success.
class SerialSources {
 public:
  virtual ~SerialSources() = default;
  // False without a message: the caller words the failure.
  virtual bool OpenRM100Port() = 0;
  virtual bool CloseRM100Port() = 0;
  virtual bool LoadSlicer() = 0;
  virtual bool UnloadSlicer() = 0;
  // The 250 ms polls.
  virtual void ProcessRM100Data() = 0;
  virtual void ProcessSlicerData() = 0;
  // A slicer driver can be provided on this platform.
  virtual bool SlicerSupported() const = 0;
};

// No serial receiver support: every open fails.
class NoSerialSources : public SerialSources {
 public:
  bool OpenRM100Port() override { return false; }
  bool CloseRM100Port() override { return true; }
  bool LoadSlicer() override { return false; }
  bool UnloadSlicer() override { return true; }
  void ProcessRM100Data() override {}
  void ProcessSlicerData() override {}
  bool SlicerSupported() const override { return true; }
};

}  // namespace kestrel
