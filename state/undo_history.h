// The panel's undo history: one history per program, each step a change of the values one
// settings message carries (the program's 15 words and the device-wide MIDI channel and boost
// lock). Pure bookkeeping on the user-interface thread; it neither reads the editor state nor
// sends anything. The panel records its changes here and applies what undo and redo return.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orq {

inline constexpr int kHistoryPrograms = 128;
inline constexpr int kHistoryWords = 15;

// The values of one settings message, as the panel holds them.
struct SettingsValues {
  std::array<int32_t, kHistoryWords> words{};
  int32_t midiChannel = 0;
  int32_t boostLock = 0;
  bool operator==(const SettingsValues&) const = default;
};

class UndoHistory {
 public:
  // Before anything else is done with `program`'s history: `now` is what the editor holds for
  // it and `epoch` counts the times the device's values were replaced wholesale (another
  // connection, a restore). Values the history did not leave behind mean the device changed
  // them under the editor: a new epoch or other device-wide values clear every history, other
  // words this program's.
  void reconcile(int32_t epoch, int program, const SettingsValues& now);

  // A change the panel made to `program`, named for the control that made it. Drops the steps
  // that could have been redone. A change that changes nothing is no step.
  void record(int program, std::wstring name, const SettingsValues& before,
              const SettingsValues& after);

  // Undoes or redoes the newest step of `program` on `values` (only the fields that step
  // changed); false, and `values` untouched, when there is none.
  bool undo(int program, SettingsValues& values);
  bool redo(int program, SettingsValues& values);

  // The name of the step undo or redo would act on, or empty when there is none.
  std::wstring undoName(int program) const;
  std::wstring redoName(int program) const;

  void clearAll();

 private:
  struct Step {
    std::wstring name;
    SettingsValues before;
    SettingsValues after;
  };
  struct Program {
    std::vector<Step> done;
    std::vector<Step> undone;
    std::array<int32_t, kHistoryWords> words{};  // what the last step left; kept while steps are
  };
  static bool valid(int program) { return program >= 0 && program < kHistoryPrograms; }
  // Sets every field `step` changed to its value in `to`.
  static void apply(const Step& step, const SettingsValues& to, SettingsValues& values);
  void leaveBehind(const SettingsValues& values, Program& p);

  std::array<Program, kHistoryPrograms> programs_;
  int32_t epoch_ = 0;
  bool globalsKnown_ = false;
  int32_t midiChannel_ = 0;
  int32_t boostLock_ = 0;
};

}  // namespace orq
