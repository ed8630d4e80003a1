// The link's primitives (see link_io.h).
#include "device/link_io.h"

#include <algorithm>

#include "device/device_state.h"
#include "device/link_host.h"
#include "device/midi_port.h"
#include "state/editor_state.h"
#include "state/steady_wait.h"

namespace orq {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kPollPause{5};
// A long pause is slept in slices of this length so that a shutdown request ends it quickly.
constexpr milliseconds kStopSlice{10};

Clock::time_point deadlineAfter(milliseconds interval) {
  const Clock::time_point now = Clock::now();
  if (interval.count() <= 0) return now;
  const auto room = std::chrono::duration_cast<milliseconds>(Clock::time_point::max() - now);
  if (interval >= room) return Clock::time_point::max();
  return now + interval;
}

}  // namespace

// ---------------------------------------------------------------- pauses and sending

bool stopping(const DeviceLink& link) {
  return link.stopRequested.get() != 0;
}

bool interrupted(const DeviceLink& link) {
  return stopping(link) || link.serviceLost.get() != 0;
}

void requestRepaint(DeviceLink& link) {
  if (link.host) link.host->requestRepaint();
}

void tellUser(DeviceLink& link, const std::string& message) {
  if (link.host) link.host->confirm(message, "");
}

bool pauseFor(DeviceLink& link, milliseconds interval) {
  const Clock::time_point deadline = deadlineAfter(interval);
  while (!interrupted(link)) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return true;
    sleepUntil(deadline - now > kStopSlice ? now + kStopSlice : deadline);
  }
  return false;
}

bool outputOpen(DeviceLink& link) {
  return safeIsOpen(link.midiOut);
}

bool sendToDevice(DeviceLink& link, const uint8_t* message, size_t length) {
  if (length == 0 || !outputOpen(link)) return false;
  return safeSend(link.midiOut, message, length);
}

bool sendToDevice(DeviceLink& link, const std::vector<uint8_t>& message) {
  return sendToDevice(link, message.data(), message.size());
}

// ---------------------------------------------------------------- replies and waits

void pollReply(DeviceLink& link) {
  if (link.portFault.exchange(0)) closePorts(link);
  if (!link.midiInbox || !link.state) return;
  // The worker is the only reader of the queue; one buffer serves every poll.
  thread_local std::vector<unsigned char> message;
  if (link.midiInbox->take(message))
    applyReply(decodeReply(message.data(), message.size()), *link.state, link);
}

namespace {

// One poll interval: until a message is waiting or kPollPause has passed. False when
// interrupted.
bool awaitInput(DeviceLink& link) {
  if (!link.midiInbox) return pauseFor(link, kPollPause);
  if (interrupted(link)) return false;
  link.midiInbox->waitForMessage(deadlineAfter(kPollPause));
  return !interrupted(link);
}

}  // namespace

WaitResult waitForReply(DeviceLink& link, int32_t code) {
  // The budget is time, not a count of polls: a poll happens as soon as a message arrives (so a
  // chunked transfer runs at the pace of the device, not of the poll interval), and a stream of
  // foreign messages must not use the budget up early.
  const Clock::time_point deadline = deadlineAfter(kReplyBudget);
  for (;;) {
    // Tested before each poll only: a reply taken by the poll that ends the budget is too late.
    if (link.lastReply.get() == code) return WaitResult::Arrived;
    if (!awaitInput(link)) return WaitResult::Stopped;
    pollReply(link);
    if (interrupted(link)) return WaitResult::Stopped;
    if (Clock::now() >= deadline) return WaitResult::TimedOut;
  }
}

void markFailure(DeviceLink& link) {
  link.state->linkState = kError;
  requestRepaint(link);
  link.failureCount = link.failureCount.get() + 1;
}

Request ask(DeviceLink& link, const std::vector<uint8_t>& message, int32_t reply) {
  if (message.empty() || !outputOpen(link)) return Request::NotSent;
  link.lastReply = 0;
  if (!sendToDevice(link, message)) return Request::NotSent;
  switch (waitForReply(link, reply)) {
    case WaitResult::Arrived:
      return Request::Arrived;
    case WaitResult::TimedOut:
      return Request::TimedOut;
    case WaitResult::Stopped:
      break;
  }
  return Request::Stopped;
}

Request countOutcome(DeviceLink& link, Request r) {
  if (r == Request::TimedOut) markFailure(link);
  if (r == Request::Arrived) link.failureCount = 0;
  return r;
}

Request askCounted(DeviceLink& link, const std::vector<uint8_t>& message, int32_t reply) {
  return countOutcome(link, ask(link, message, reply));
}

void closePorts(DeviceLink& link) {
  safeClose(link.midiIn);
  safeClose(link.midiOut);
}

}  // namespace orq
