#include "decoder/slicer_device.h"

#include <map>
#include <string>

#include "decoder/edge_timer_device.h"

namespace sieve {
namespace {

std::map<std::string, SlicerDevice*, std::less<>>& Devices() {
  static auto* devices = new std::map<std::string, SlicerDevice*, std::less<>>();
  return *devices;
}

}  // namespace

SlicerDevice* FindSlicerDevice(std::string_view name) {
  const auto& devices = Devices();
  if (const auto found = devices.find(name); found != devices.end()) return found->second;
  return name == kSlicerDeviceName ? &PlatformSlicerDevice() : nullptr;
}

void RegisterSlicerDevice(std::string_view name, SlicerDevice* device) {
  Devices()[std::string(name)] = device;
}

}  // namespace sieve
