// Port discovery: which ports are the device's (by the name tag of deviceTagKind, midi_port.h),
// opening them by name, and the pace at which the worker looks again. The thread that owns the
// link's ports.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "device/midi_port.h"

namespace orq {

// ---------------------------------------------------------------- tagged ports

// A port whose name carries a device tag. Ports are opened by name (openNamed): an index from
// a listing can have shifted by the time the port is opened.
struct TaggedPort {
  std::string name;
  int32_t kind = 0;
};
// The tagged ports of one direction, in the library's order. With a non-empty `name`, only those
// whose name contains it, or, when some port's name is exactly `name`, only those.
std::vector<TaggedPort> taggedPorts(RtMidi& port, const std::string& name = {});
// Opens the port called `name`, looked up just before. JACK lists this program's own ports too,
// so opening the input, which registers one, can move the device's input to another index, and
// an index listed earlier would then connect the output to our own input.
bool openNamed(RtMidi& port, const std::string& name, const std::string& localName);

// ---------------------------------------------------------------- opening the device

// Finds the first tagged input and output (among those `portName` selects, as taggedPorts),
// records the model kind in the editor state and opens both ports when they are not open yet,
// giving new connections a moment to take effect. True when both are open; otherwise both are
// closed. `kindOut` gets the model kind decided.
bool findAndOpenDevice(DeviceLink& link, int32_t* kindOut = nullptr,
                       const std::string& portName = {});

// ---------------------------------------------------------------- the worker's pace

// What discover keeps from one look to the next. Value-initialised: look at once.
struct PortScan {
  std::chrono::steady_clock::time_point nextScan;  // at once when not set
  const ServiceWatch* watch = nullptr;  // of the ports in use; tells of port list changes
  uint32_t portChangesSeen = 0;         // its count at the last enumeration
  bool found = false;  // the last enumeration found the device and opened its ports
  int32_t kind = 0;    // model kind from the last enumeration
};

// findAndOpenDevice at the pace described in port_discovery.cpp; between enumerations the device
// counts as present while the ports found last time stay open. Returns whether it is.
bool discover(DeviceLink& link, PortScan& scan);

}  // namespace orq
