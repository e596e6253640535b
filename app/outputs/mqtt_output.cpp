#include "app/outputs/mqtt_output.h"

#include <mosquitto.h>

#include <thread>

namespace kestrel {
namespace {

constexpr int kQos = 1;

// libmosquitto wants one process-wide initialisation before the first client.
void InitLibrary() {
  static const int once = mosquitto_lib_init();
  (void)once;
}

}  // namespace

MqttOutput::MqttOutput(const OutputsConfig& config, std::string password, OutputReport report)
    : prefix_(config.TopicPrefix()), limit_(size_t(config.mqtt_queue)), report_(std::move(report)) {
  status_.name = "MQTT";
  status_.state = "connecting to " + config.mqtt_host + " port " + std::to_string(config.mqtt_port);
  InitLibrary();
  mosq_ = mosquitto_new(nullptr, true, this);
  if (mosq_ == nullptr) {
    status_.state = "failing: no MQTT client";
    Report("MQTT output: cannot create a client; the output is off");
    return;
  }
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_connect_callback_set(mosq_, &MqttOutput::OnConnect);
  mosquitto_disconnect_callback_set(mosq_, &MqttOutput::OnDisconnect);
  mosquitto_publish_callback_set(mosq_, &MqttOutput::OnPublish);
  mosquitto_reconnect_delay_set(mosq_, 1, 60, true);
  const std::string status_topic = prefix_ + "status";
  int rc = mosquitto_will_set(mosq_, status_topic.c_str(), 7, "offline", kQos, true);
  if (rc == MOSQ_ERR_SUCCESS && !config.mqtt_user.empty()) {
    rc = mosquitto_username_pw_set(mosq_, config.mqtt_user.c_str(),
                                   password.empty() ? nullptr : password.c_str());
  }
  if (rc == MOSQ_ERR_SUCCESS && config.mqtt_tls) {
    rc = mosquitto_tls_set(
        mosq_, config.mqtt_ca_file.empty() ? nullptr : config.mqtt_ca_file.c_str(),
        config.mqtt_ca_file.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    status_.state = std::string("failing: ") + mosquitto_strerror(rc);
    Report(std::string("MQTT output: ") + mosquitto_strerror(rc) + "; the output is off");
    return;
  }
  // A broker that is not there yet is no failure: the connection is tried again.
  connector_ = std::thread(&MqttOutput::ConnectFirst, this, config.mqtt_host, config.mqtt_port);
}

void MqttOutput::ConnectFirst(std::string host, int port) {
  auto pause = std::chrono::seconds(1);
  bool reported = false;
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    const int rc = mosquitto_connect_async(mosq_, host.c_str(), port, 60);
    if (rc == MOSQ_ERR_SUCCESS) {
      const bool started = mosquitto_loop_start(mosq_) == MOSQ_ERR_SUCCESS;
      lock.lock();
      started_ = started;
      if (!started) {
        status_.state = "failing: no network thread";
        lock.unlock();
        Report("MQTT output: cannot start its network thread; the output is off");
      }
      return;
    }
    if (!reported) {
      reported = true;
      Report("MQTT output: cannot reach " + host + " port " + std::to_string(port) + ": " +
             mosquitto_strerror(rc) + "; retrying");
    }
    lock.lock();
    stop_connecting_.wait_for(lock, pause, [this] { return stopping_; });
    pause = std::min(pause * 2, std::chrono::seconds(60));
  }
}

void MqttOutput::StopConnecting() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_connecting_.notify_all();
  if (connector_.joinable()) connector_.join();
}

MqttOutput::~MqttOutput() {
  if (mosq_ == nullptr) return;
  StopConnecting();
  if (started_) {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, true);
  }
  mosquitto_destroy(mosq_);
}

void MqttOutput::Report(const std::string& line) {
  {
    std::lock_guard lock(mutex_);
    ++status_.failures;
  }
  report_(line);
}

void MqttOutput::Write(const EventLine& line) {
  std::string_view payload = line.json;
  if (!payload.empty() && payload.back() == '\n') payload.remove_suffix(1);
  std::lock_guard lock(mutex_);
  if (queue_.size() + sent_.size() >= limit_ && !queue_.empty()) {
    queue_.pop_front();
    ++status_.dropped;
  }
  queue_.push_back({prefix_ + std::string(line.type), std::string(payload), line.type == "status"});
  if (connected_) PublishQueued();
}

void MqttOutput::PublishQueued() {
  while (!queue_.empty()) {
    Pending& next = queue_.front();
    int mid = 0;
    const int rc = mosquitto_publish(mosq_, &mid, next.topic.c_str(), int(next.payload.size()),
                                     next.payload.data(), kQos, next.retain);
    if (rc != MOSQ_ERR_SUCCESS) return;  // stays queued until the next connection
    sent_.emplace(mid, std::move(next));
    queue_.pop_front();
  }
}

void MqttOutput::OnConnect(mosquitto*, void* self, int rc) {
  auto* output = static_cast<MqttOutput*>(self);
  if (rc != 0) return;
  std::string line;
  {
    std::lock_guard lock(output->mutex_);
    output->connected_ = true;
    output->status_.state = "connected";
    // The library itself sends again what the last connection left unacknowledged; the queue
    // follows it.
    output->PublishQueued();
    if (output->was_connected_) line = "MQTT output: connected again";
    output->was_connected_ = true;
  }
  if (!line.empty()) output->report_(line);
}

void MqttOutput::OnDisconnect(mosquitto*, void* self, int rc) {
  auto* output = static_cast<MqttOutput*>(self);
  {
    std::lock_guard lock(output->mutex_);
    output->connected_ = false;
    output->status_.state = "broker away; reconnecting";
    if (rc == 0) return;  // we asked for it
    ++output->status_.failures;
  }
  output->report_("MQTT output: connection lost; queueing and reconnecting");
}

void MqttOutput::OnPublish(mosquitto*, void* self, int mid) {
  auto* output = static_cast<MqttOutput*>(self);
  std::lock_guard lock(output->mutex_);
  if (output->sent_.erase(mid) > 0) ++output->status_.written;
}

void MqttOutput::Finish(std::chrono::milliseconds wait) {
  if (mosq_ == nullptr) return;
  const bool never_connected = [this] {
    std::lock_guard lock(mutex_);
    return !started_;
  }();
  // Still trying the first connection: the wait is for it too.
  if (never_connected) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::lock_guard lock(mutex_);
        if (started_) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    StopConnecting();
    std::lock_guard lock(mutex_);
    if (!started_) {
      status_.dropped += queue_.size();
      queue_.clear();
      return;
    }
  }
  // A clean disconnect sends no last will, so the retained status says so itself, last.
  {
    std::lock_guard lock(mutex_);
    queue_.push_back({prefix_ + "status", "offline", true});
    if (connected_) PublishQueued();
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty() && sent_.empty()) break;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  {
    std::lock_guard lock(mutex_);
    status_.dropped += queue_.size() + sent_.size();
    queue_.clear();
    sent_.clear();
    connected_ = false;
  }
  mosquitto_disconnect(mosq_);
  mosquitto_loop_stop(mosq_, false);
  started_ = false;
}

OutputStatus MqttOutput::Status() const {
  std::lock_guard lock(mutex_);
  OutputStatus status = status_;
  if (!queue_.empty() || !sent_.empty())
    status.state += ", " + std::to_string(queue_.size() + sent_.size()) + " queued";
  return status;
}

}  // namespace kestrel
