/* The wire between the Wine MIDI driver (winmm_driver.c, in the editor's process) and the bridge
 * (bridge.cpp, a Linux program on the JACK server) over loopback TCP. Shared by both sides, so
 * plain C.
 *
 * Every frame is a 4-byte little-endian length N, then N bytes: a type byte and its payload.
 * The first frame on a connection says what the connection is for:
 *   kWireList      a list connection: the bridge sends kWirePorts at once and again each
 *                  time the list changes (payload: count of inputs, count of outputs, then each
 *                  name as a length byte and its bytes, inputs first). The driver sends nothing
 *                  more on it; closing it ends the updates.
 *   kWireOpenIn    payload: the input's index in the last list. Answered with kWireOk or
 *   kWireOpenOut   kWireError (payload: a reason); after kWireOk the connection carries
 *                  kWireMidi frames, each one complete MIDI message (a short message or a whole
 *                  sysex): from the bridge for an input, to it for an output. Closing the
 *                  connection closes the port.
 * The bridge listens on 127.0.0.1, on the port named by ORQ_MIDI_BRIDGE_PORT. */
#ifndef ORQ_BRIDGE_WIRE_H
#define ORQ_BRIDGE_WIRE_H

enum {
  kWireList = 'L',
  kWirePorts = 'P',
  kWireOpenIn = 'I',
  kWireOpenOut = 'O',
  kWireOk = 'K',
  kWireError = 'E',
  kWireMidi = 'M'
};

/* The longest frame either side accepts (a sysex of up to 1 MiB). */
#define ORQ_WIRE_MAX_FRAME (1u << 20)
/* At most this many ports each way are listed. */
#define ORQ_WIRE_MAX_PORTS 16
#define ORQ_WIRE_PORT_ENV "ORQ_MIDI_BRIDGE_PORT"

#endif
