#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "app/outputs/output.h"
#include "app/outputs/outputs_config.h"

struct mosquitto;
struct mosquitto_message;

namespace kestrel {

// Publishes every line to an MQTT broker through libmosquitto, QoS 1, on topic prefix + event
// type; the "status" topic is retained and carries the last will "offline". The library's own
// network thread connects, reconnects with growing pauses (1 s doubling to 60 s) and
// acknowledges. Lines wait in a queue of at most `mqtt_queue` messages while the broker is away
// (the oldest go first when it is full) and are published in order once it is back. The library
// publishes again a message that the broker had not acknowledged when the connection dropped
// (at least once: see docs/events.md). Write never waits for the broker.
class MqttOutput : public Output {
 public:
  // `password` is used only with a user name.
  MqttOutput(const OutputsConfig& config, std::string password, OutputReport report);
  ~MqttOutput() override;
  MqttOutput(const MqttOutput&) = delete;
  MqttOutput& operator=(const MqttOutput&) = delete;

  void Write(const EventLine& line) override;
  // Waits for the queue to be acknowledged, publishes "offline" and disconnects.
  void Finish(std::chrono::milliseconds wait) override;
  OutputStatus Status() const override;

 private:
  struct Pending {
    std::string topic;
    std::string payload;
    bool retain;
  };

  static void OnConnect(mosquitto*, void* self, int rc);
  static void OnDisconnect(mosquitto*, void* self, int rc);
  static void OnPublish(mosquitto*, void* self, int mid);
  // Hands the queue to the library in order; called with mutex_ held.
  void PublishQueued();
  void Report(const std::string& line);
  // Until the first connection: the library's thread retries only once it has been connected.
  void ConnectFirst(std::string host, int port);
  void StopConnecting();

  std::string prefix_;
  size_t limit_;
  OutputReport report_;
  mosquitto* mosq_ = nullptr;
  bool started_ = false;  // the library's network thread runs
  std::thread connector_;
  std::condition_variable stop_connecting_;
  bool stopping_ = false;  // with mutex_

  mutable std::mutex mutex_;
  std::deque<Pending> queue_;    // not yet handed to the library
  std::map<int, Pending> sent_;  // handed on, waiting for the broker's acknowledgement
  bool connected_ = false;
  bool was_connected_ = false;
  OutputStatus status_;
};

}  // namespace kestrel
