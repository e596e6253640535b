#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

class IniFile;

// The [Outputs] section of a profile: the station's name and its three outputs. Keys and
// defaults are listed in docs/events.md.
struct OutputsConfig {
  std::string station;  // default: the host name

  bool file = false;
  std::string file_folder;  // kestrel-YYYYMMDD.jsonl files go here

  bool tcp = false;
  std::string tcp_address = "127.0.0.1";
  uint16_t tcp_port = 4810;
  // A client whose unsent lines pass this many bytes is dropped.
  int64_t tcp_client_queue = int64_t(1) << 20;

  bool mqtt = false;
  std::string mqtt_host = "127.0.0.1";
  uint16_t mqtt_port = 1883;
  bool mqtt_tls = false;
  std::string mqtt_ca_file;
  std::string mqtt_user;
  std::string mqtt_password_file;  // the password is the file's first line
  std::string mqtt_topic_prefix;   // empty: "kestrel/" + station + "/"
  // Messages kept while the broker is away; the oldest go first beyond it.
  int64_t mqtt_queue = 10000;

  // The topic prefix in use: the configured one, else the default, always ending in "/".
  std::string TopicPrefix() const;
};

// Reads the section; keys that are missing or do not parse keep their defaults and are named in
// `problems` ("MQTTPort: not a port number"), so a bad value never stops the station.
OutputsConfig ReadOutputsConfig(const IniFile& profile, std::vector<std::string>* problems);
// The machine's host name; "kestrel" when it has none.
std::string DefaultStationName();

}  // namespace kestrel
