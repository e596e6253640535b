#pragma once

#include "app/outputs/file_output.h"
#include "app/outputs/mqtt_output.h"
#include "app/outputs/outputs_config.h"
#include "app/outputs/station.h"
#include "app/outputs/tcp_output.h"

namespace kestrel {

// Gives the station the outputs `config` turns on, each reporting through `report`. The MQTT
// password is the first line of MQTTPasswordFile. Needs a Qt event loop for the TCP output.
void AddConfiguredOutputs(Station& station, const OutputsConfig& config, OutputReport report);

}  // namespace kestrel
