// The IR operations of the device worker: sending IR samples into a user slot, importing a WAV
// file into one, and writing the factory IRs to a folder. Worker thread; outcomes land in
// linkState, statusCode and failureCount as the panel shows them.
#pragma once

#include <cstdint>
#include <string>

#include "device/transfer.h"
#include "ir/wav_import.h"

namespace orq {

struct DeviceLink;

// Sends `count` samples (mono, 48 kHz) into user slot 0..5 under deviceIrName(name). An image
// that cannot be made or is too large for the transfer's 16-bit fields, or a slot outside 0..5,
// is refused before anything is sent: linkState 1 (Failed is returned). Otherwise as sendImage.
TransferResult uploadIr(DeviceLink& link, const std::wstring& name, const float* samples,
                        uint32_t count, uint8_t slot);

// Catalogue entry 0..17 of the editor state into user slot 0..5 under the entry's name; an entry
// outside the catalogue is refused as uploadIr refuses.
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

// Writes every catalogue entry as "<folder>/<name>.wav" (the IR file image), in catalogue order.
// An empty folder (a cancelled dialog) writes nothing and succeeds. Each file is written under a
// temporary name and renamed into place once complete, so a failed write never leaves a partial
// file nor destroys the copy an earlier export left. False when some file could not be written;
// the export stops there and the files before it remain.
bool extractAll(DeviceLink& link, const std::wstring& folder);

}  // namespace orq
