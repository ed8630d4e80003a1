// The device operations over a DeviceLink: the link's port objects, the connect read, reading
// and writing one program's settings, store, reset, the firmware flash and the restart after it
// (port discovery is in port_discovery.h). The worker's loop
// calls them for the panel and orqctl calls them directly, so each exists once. They run on the
// one thread that owns the link's ports and report as the primitives of link_io.h do.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "device/link_io.h"
#include "device/midi_port.h"
#include "device/port_discovery.h"
#include "device/protocol.h"
#include "device/transfer.h"

namespace orq {

// ---------------------------------------------------------------- ports

// Creates the link's two port objects (link.ports) on the first MIDI service that works, with
// the error callback and the service watch that the link's pauses and waits react to. False
// when there is no service; the link then has no ports.
bool openLinkPorts(DeviceLink& link, const std::string& inClient, const std::string& outClient);
// Closes and destroys what openLinkPorts made and clears the link's references to it.
void dropLinkPorts(DeviceLink& link);

// ---------------------------------------------------------------- requests

// IDENTIFY and the wait for VERSION, counted (a timeout is a failure, an answer clears it).
Request identify(DeviceLink& link);
// READ_SETTINGS for `program` and the wait for that program's SETTINGS_DUMP, counted. A dump of
// another program (asked for by another client of the device) does not end the wait, but when
// ours never comes, one that arrived counts as the device's answer (Arrived, no failure).
Request requestSettings(DeviceLink& link, int32_t program);
// How a message that has no reply went: handed to the port; not sent (the output port is closed,
// or the builder refused the values); or sent, and the pause after it interrupted.
enum class Send { Sent, NotSent, Stopped };
// WRITE_SETTINGS of `program` from the editor state, then the 5 ms pause. Not acknowledged by
// the device.
Send sendSettings(DeviceLink& link, int32_t program);
Send sendSettings(DeviceLink& link, const ProgramSettings& settings);
// STORE, then the 5 ms pause; nothing is sent while the output port is closed.
bool sendStore(DeviceLink& link);
bool sendReset(DeviceLink& link);
// READ_SLOT_NAME for the six slots in turn; the first timeout is a failure and ends the loop,
// six answers clear failureCount. Arrived only when all six came.
Request readSlotNames(DeviceLink& link);

// ---------------------------------------------------------------- connect read

enum class Sequence { Completed, EndsPass, Stopped };

// The full read of a device just found: IDENTIFY, the settings of the current program and the
// six slot names, with linkState busy meanwhile and connected (or error) after. `afterVersion`,
// when given, runs once the device has told its version in this sequence; unless it returns
// Completed the sequence ends there with its result.
Sequence connectSequence(DeviceLink& link, const std::function<Sequence()>& afterVersion = {});

// ---------------------------------------------------------------- firmware

// Sends the firmware image buffer (device/firmware.h) and restarts the device into it: the
// transfer, 100 ms, RESET, and on success 2 s for the restart. A failed transfer sets
// failureCount to 3, so that the worker's next pass recovers. Stopped: nothing more was sent.
TransferResult flashFirmware(DeviceLink& link);

// After a flash the device may leave the bus and come back under new ports, which ports kept
// open would not reach. Both of these close the ports and find the device afresh:
//   restartAfterFlash, for the worker: forgets what the device told (the model kind stays, for
//     the panel) and asks for the connect read, so that its next pass treats the device as one
//     just found;
//   awaitRestartedDevice, for a caller without a worker: looks for the device (`portName` as for
//     findAndOpenDevice) every 200 ms until it answers IDENTIFY (Arrived) or `budget` has passed
//     (TimedOut). Stopped when interrupted.
void restartAfterFlash(DeviceLink& link);
Request awaitRestartedDevice(DeviceLink& link, const std::string& portName,
                             std::chrono::milliseconds budget);

}  // namespace orq
