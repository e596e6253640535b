#include "app/outputs/outputs.h"

#include "app/platform/secret_store.h"
#include "app/profile/ini_file.h"

namespace kestrel {

void AddConfiguredOutputs(Station& station, const OutputsConfig& config, OutputReport report) {
  if (config.file) station.AddOutput(std::make_unique<FileOutput>(config.file_folder, report));
  if (config.tcp) {
    station.AddOutput(std::make_unique<TcpOutput>(config.tcp_address, config.tcp_port,
                                                  config.tcp_client_queue, report));
  }
  if (config.mqtt) {
    std::string password;
    if (!config.mqtt_user.empty() || !config.mqtt_password_file.empty()) {
      const SecretResult secret = LoadSecret(kMqttSecretAccount, config.mqtt_password_file);
      if (!secret.ok) report("MQTT output: no password: " + secret.error);
      password = secret.secret;
    }
    station.AddOutput(std::make_unique<MqttOutput>(config, std::move(password), report));
  }
}

void ConfigureOutputs(Station& station, const std::string& profile_path,
                      std::chrono::milliseconds wait, OutputReport report) {
  IniFile profile;
  if (!profile_path.empty()) profile.Load(profile_path);
  std::vector<std::string> problems;
  const OutputsConfig config = ReadOutputsConfig(profile, &problems);
  for (const std::string& problem : problems) report("[Outputs] " + problem);
  station.ClearOutputs(wait);
  station.SetName(config.station);
  AddConfiguredOutputs(station, config, std::move(report));
}

}  // namespace kestrel
