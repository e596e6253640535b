#include "app/outputs/outputs.h"

namespace kestrel {

void AddConfiguredOutputs(Station& station, const OutputsConfig& config, OutputReport report) {
  if (config.file) station.AddOutput(std::make_unique<FileOutput>(config.file_folder, report));
  if (config.tcp) {
    station.AddOutput(std::make_unique<TcpOutput>(config.tcp_address, config.tcp_port,
                                                  config.tcp_client_queue, report));
  }
  if (config.mqtt) {
    std::string password;
    if (!config.mqtt_password_file.empty()) {
      password = ReadFirstLine(config.mqtt_password_file);
      if (password.empty()) report("MQTT output: no password in " + config.mqtt_password_file);
    }
    station.AddOutput(std::make_unique<MqttOutput>(config, std::move(password), report));
  }
}

}  // namespace kestrel
