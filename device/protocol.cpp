// Sysex builders and the reply handler. (Placeholder until the protocol lands.)
#include "device/protocol.h"
