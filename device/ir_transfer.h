// The IR operations on the device: sending IR samples into a user slot (a factory IR or an
// imported WAV file), the end of such an upload, and EXTRACT ALL as the worker runs it. The
// thread that owns the link's ports; outcomes land in linkState, statusCode and failureCount as
// the panel shows them. The file formats themselves are in ir/.
#pragma once

#include <cstdint>
#include <string>

#include "device/device_link.h"
#include "device/link_io.h"
#include "device/transfer.h"
#include "ir/wav_import.h"

namespace orq {

// Sends `count` samples (mono, 48 kHz) into user slot 0..5 under deviceIrName(name). An image
// that cannot be made or is too large for the transfer's 16-bit fields, or a slot outside 0..5,
// is refused before anything is sent: linkState 1 (Failed is returned). Otherwise as sendImage.
TransferResult uploadIr(DeviceLink& link, const std::wstring& name, const float* samples,
                        uint32_t count, uint8_t slot);

// Factory IR 0..17 into user slot 0..5 under the entry's name; an entry outside the catalogue
// is refused as uploadIr refuses.
TransferResult uploadCatalogueEntry(DeviceLink& link, int32_t entry, uint8_t slot);

// Loads a WAV file of the user's into user slot 0..5 under the file's name. A refused file (an
// empty path from a cancelled dialog, unreadable, not an accepted WAV, outside 44100..96000 Hz
// or 1..2 channels, nothing left after the lead-in) ends the busy state with linkState 1 and
// nothing sent (Failed is returned). Otherwise as uploadIr.
TransferResult importWav(DeviceLink& link, const std::wstring& path, uint8_t slot);
// The sending half of importWav, for a file imported beforehand (importWavFile(path)), so that a
// caller can tell a refused file from a failed transfer.
TransferResult uploadImportedWav(DeviceLink& link, const std::wstring& path, const ImportedIr& ir,
                                 uint8_t slot);

// After a commit the device sends CHANGE_NOTICE once the slot holds the IR, and the slot is
// read again after it; a device that stays silent is read again all the same once the reply
// budget has passed. How it is read again:
//   WholeDevice: on the worker's next pass (rereadPending), which also ends the busy state and
//     shows the slot's new name. Arrived.
//   SlotName: READ_SLOT_NAME of `slot` now, for a caller without a worker (orqctl); the request's
//     outcome, not counted.
// Nothing happens after a result other than Committed (NotSent). Stopped when interrupted.
enum class ReadAgain { WholeDevice, SlotName };
Request finishUpload(DeviceLink& link, TransferResult result, uint8_t slot, ReadAgain how);

// EXTRACT ALL (exportFactoryIrs) for the worker: an entry that cannot be encoded ends the busy
// state as a refused upload does. False when some file could not be written or encoded.
bool extractAll(DeviceLink& link, const std::wstring& folder);

}  // namespace orq
