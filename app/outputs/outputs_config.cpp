#include "app/outputs/outputs_config.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <optional>
#include <utility>

#include "app/profile/ini_file.h"

namespace kestrel {
namespace {

constexpr std::string_view kSection = "Outputs";

class Reader {
 public:
  Reader(const IniFile& ini, std::vector<std::string>* problems) : ini_(ini), problems_(problems) {}

  void Text(std::string_view key, std::string& value) {
    if (auto found = Value(key)) value = std::move(*found);
  }

  void Bool(std::string_view key, bool& value) {
    const auto found = Value(key);
    if (!found) return;
    if (Equal(*found, "True") || *found == "1")
      value = true;
    else if (Equal(*found, "False") || *found == "0")
      value = false;
    else
      Problem(key, "not True or False");
  }

  void Integer(std::string_view key, int64_t least, int64_t most, int64_t& value,
               std::string_view what) {
    const auto found = Value(key);
    if (!found) return;
    int64_t parsed = 0;
    const char* end = found->data() + found->size();
    const auto [at, error] = std::from_chars(found->data(), end, parsed);
    if (error != std::errc() || at != end || parsed < least || parsed > most)
      return Problem(key, what);
    value = parsed;
  }

  void Port(std::string_view key, uint16_t& value) {
    int64_t port = value;
    Integer(key, 1, 65535, port, "not a port number (1-65535)");
    value = uint16_t(port);
  }

 private:
  // A key's value; none when it is missing or empty, which keeps the default.
  std::optional<std::string> Value(std::string_view key) const {
    auto found = ini_.Find(kSection, key);
    if (found && found->empty()) found.reset();
    return found;
  }
  static bool Equal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(uint8_t(a[i])) != std::tolower(uint8_t(b[i]))) return false;
    }
    return true;
  }
  void Problem(std::string_view key, std::string_view what) {
    if (problems_ != nullptr) problems_->push_back(std::string(key) + ": " + std::string(what));
  }

  const IniFile& ini_;
  std::vector<std::string>* problems_;
};

}  // namespace

std::string OutputsConfig::TopicPrefix() const {
  std::string prefix = mqtt_topic_prefix.empty() ? "kestrel/" + station + "/" : mqtt_topic_prefix;
  if (prefix.back() != '/') prefix += '/';
  return prefix;
}

std::string DefaultStationName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "kestrel";
  return name;
}

OutputsConfig ReadOutputsConfig(const IniFile& profile, std::vector<std::string>* problems) {
  OutputsConfig c;
  Reader r(profile, problems);
  c.station = DefaultStationName();
  r.Text("StationName", c.station);
  r.Bool("FileOutput", c.file);
  r.Text("FileFolder", c.file_folder);
  r.Bool("TCPOutput", c.tcp);
  r.Text("TCPAddress", c.tcp_address);
  r.Port("TCPPort", c.tcp_port);
  r.Integer("TCPClientQueue", 1024, INT64_C(1) << 30, c.tcp_client_queue,
            "not a byte count (1024-1073741824)");
  r.Bool("MQTTOutput", c.mqtt);
  r.Text("MQTTHost", c.mqtt_host);
  r.Port("MQTTPort", c.mqtt_port);
  r.Bool("MQTTTLS", c.mqtt_tls);
  r.Text("MQTTCAFile", c.mqtt_ca_file);
  r.Text("MQTTUser", c.mqtt_user);
  r.Text("MQTTPasswordFile", c.mqtt_password_file);
  r.Text("MQTTTopicPrefix", c.mqtt_topic_prefix);
  r.Integer("MQTTQueue", 1, 1000000, c.mqtt_queue, "not a message count (1-1000000)");
  if (c.file && c.file_folder.empty()) {
    if (problems != nullptr) problems->push_back("FileFolder: empty; the file output is off");
    c.file = false;
  }
  return c;
}

}  // namespace kestrel
