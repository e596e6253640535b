#pragma once

#include <string>
#include <string_view>

namespace kestrel {

class Acquisition;

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

// Hands every call on to `target`, or does nothing while there is none: the program needs its
// feed before the feed (which needs the program's settings) exists.
struct FeedNetworkForwarder : FeedNetwork {
  int ClientCount() const override { return target ? target->ClientCount() : 0; }
  void ForwardToClients(const std::string& record) override {
    if (target) target->ForwardToClients(record);
  }
  void SendToClients(std::string_view text) override {
    if (target) target->SendToClients(text);
  }
  bool StartListening() override { return target && target->StartListening(); }
  void StopListening() override {
    if (target) target->StopListening();
  }
  void CloseClients() override {
    if (target) target->CloseClients();
  }
  bool ConnectToServer() override { return target && target->ConnectToServer(); }
  void DisconnectFromServer() override {
    if (target) target->DisconnectFromServer();
  }
  FeedNetwork* target = nullptr;
};

// The receivers on a serial port: the RM100 interface and the data slicer. They decode through
// the acquisition's work buffer and symbols and hand off through it. Each operation reports its
// own failures except where noted; Open/Load/Close/Unload answer success.
class SerialSources {
 public:
  virtual ~SerialSources() = default;
  // False without a message: the caller words the failure.
  virtual bool OpenRM100Port(Acquisition& acquisition) = 0;
  virtual bool CloseRM100Port(Acquisition& acquisition) = 0;
  virtual bool LoadSlicer(Acquisition& acquisition) = 0;
  virtual bool UnloadSlicer(Acquisition& acquisition) = 0;
  // The 250 ms polls.
  virtual void ProcessRM100Data(Acquisition& acquisition) = 0;
  virtual void ProcessSlicerData(Acquisition& acquisition) = 0;
  // A slicer driver can be provided on this platform.
  virtual bool SlicerSupported() const = 0;
};

// No serial receiver support: every open fails.
class NoSerialSources : public SerialSources {
 public:
  bool OpenRM100Port(Acquisition&) override { return false; }
  bool CloseRM100Port(Acquisition&) override { return true; }
  bool LoadSlicer(Acquisition&) override { return false; }
  bool UnloadSlicer(Acquisition&) override { return true; }
  void ProcessRM100Data(Acquisition&) override {}
  void ProcessSlicerData(Acquisition&) override {}
  bool SlicerSupported() const override { return true; }
};

}  // namespace kestrel
