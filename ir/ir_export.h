// EXTRACT ALL on disk: every factory IR written as an IR file image into one folder. Files only;
// no device is involved.
#pragma once

#include <string>

namespace orq {

enum class ExportResult { Written, NotEncoded, NotWritten };

// Writes every catalogue entry as "<folder>/<name>.wav" (the IR file image), in catalogue order.
// An empty folder (a cancelled dialog) writes nothing and is Written. Each file is written under
// a temporary name and renamed into place once complete, so a failed write never leaves a
// partial file nor destroys the copy an earlier export left. NotEncoded / NotWritten: some entry
// could not be encoded or its file not written; the export stops there and the files before it
// remain.
ExportResult exportFactoryIrs(const std::wstring& folder);

}  // namespace orq
