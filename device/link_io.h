// The primitives over a DeviceLink that every device operation (connect sequence, commands, IR
// and firmware transfers) is built from: pauses that end on a stop request, sending, taking one
// reply, the reply wait, one request and its bookkeeping, closing the ports. The thread that
// owns the link's ports, unless noted.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/device_link.h"

namespace orq {

// Outcome of waiting for a reply: it arrived, the budget ran out, or it was interrupted (a stop
// request, or the MIDI service went away): the caller then returns at once without touching any
// shared field, and the thread body takes over.
enum class WaitResult { Arrived, TimedOut, Stopped };

// Sleeps until now + interval (saturating), waking early when stopRequested or serviceLost is
// set. Returns false when it ended early because of either.
bool pauseFor(DeviceLink& link, std::chrono::milliseconds interval);
bool outputOpen(DeviceLink& link);
// Sends one complete message when the output port is open and the message is not empty.
// Returns whether it was handed to the port.
bool sendToDevice(DeviceLink& link, const uint8_t* message, size_t length);
bool sendToDevice(DeviceLink& link, const std::vector<uint8_t>& message);
// Takes at most one message from the input queue and applies it to the editor state.
void pollReply(DeviceLink& link);
// How long a reply is waited for.
inline constexpr std::chrono::milliseconds kReplyBudget{1000};
// Waits up to kReplyBudget for the reply `code`, taking one message at a time: as soon as one
// arrives, and at least every 5 ms. The caller has cleared lastReply before sending.
WaitResult waitForReply(DeviceLink& link, int32_t code);
// A reply timed out or a transfer failed: linkState 3, repaint, failureCount + 1.
void markFailure(DeviceLink& link);
bool stopping(const DeviceLink& link);
// stopping, or the MIDI service gone: what the worker is doing is abandoned.
bool interrupted(const DeviceLink& link);
// Asks the window for one repaint (any thread; coalesces). Nothing happens without a host.
void requestRepaint(DeviceLink& link);
// Tells the user something in the host's message box (one button), and waits until it is
// answered. Nothing happens without a host.
void tellUser(DeviceLink& link, const std::string& message);

// One request that awaits a reply: lastReply cleared, the message sent, the reply waited for.
// A request that could not be sent (port closed, or the builder refused it) is not waited for
// and changes nothing.
enum class Request { NotSent, Arrived, TimedOut, Stopped };
Request ask(DeviceLink& link, const std::vector<uint8_t>& message, int32_t reply);
// The usual bookkeeping of a request's outcome: a timeout is a failure, an answer clears
// failureCount. Returns `r`.
Request countOutcome(DeviceLink& link, Request r);
// ask, then countOutcome.
Request askCounted(DeviceLink& link, const std::vector<uint8_t>& message, int32_t reply);

// Closes both ports (the port objects stay, to be opened again by discovery).
void closePorts(DeviceLink& link);

}  // namespace orq
