#pragma once

#include "app/outputs/file_output.h"
#include "app/outputs/mqtt_output.h"
#include "app/outputs/outputs_config.h"
#include "app/outputs/station.h"
#include "app/outputs/tcp_output.h"

namespace kestrel {

// Gives the station the outputs `config` turns on, each reporting through `report`. The MQTT
// password comes from the secret store (MQTTPasswordFile first). Needs a Qt event loop for the TCP
// output.
void AddConfiguredOutputs(Station& station, const OutputsConfig& config, OutputReport report);

// Replaces the station's outputs (those running finish within `wait`) with what the [Outputs]
// section of the profile at `profile_path` asks ("" for none), and names the station; problems
// with the section's values go to `report` prefixed "[Outputs] ".
void ConfigureOutputs(Station& station, const std::string& profile_path,
                      std::chrono::milliseconds wait, OutputReport report);

}  // namespace kestrel
