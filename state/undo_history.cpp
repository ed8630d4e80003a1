// The undo history's rules: one line of steps per program, redo dropped by a new change, and
// everything the device changed under the editor forgotten.
#include "state/undo_history.h"

#include <utility>

namespace orq {

void UndoHistory::reconcile(int32_t epoch, int program, const SettingsValues& now) {
  if (!valid(program)) return;
  const bool globalsMoved =
      globalsKnown_ && (now.midiChannel != midiChannel_ || now.boostLock != boostLock_);
  if (epoch != epoch_ || globalsMoved) clearAll();
  epoch_ = epoch;
  globalsKnown_ = true;
  midiChannel_ = now.midiChannel;
  boostLock_ = now.boostLock;
  Program& p = programs_[static_cast<size_t>(program)];
  if (now.words != p.words) {
    p.done.clear();
    p.undone.clear();
    p.words = now.words;
  }
}

void UndoHistory::record(int program, std::wstring name, const SettingsValues& before,
                         const SettingsValues& after) {
  if (!valid(program) || before == after) return;
  Program& p = programs_[static_cast<size_t>(program)];
  p.undone.clear();
  p.done.push_back({std::move(name), before, after});
  leaveBehind(after, p);
}

bool UndoHistory::undo(int program, SettingsValues& values) {
  if (!valid(program)) return false;
  Program& p = programs_[static_cast<size_t>(program)];
  if (p.done.empty()) return false;
  apply(p.done.back(), p.done.back().before, values);
  p.undone.push_back(std::move(p.done.back()));
  p.done.pop_back();
  leaveBehind(values, p);
  return true;
}

bool UndoHistory::redo(int program, SettingsValues& values) {
  if (!valid(program)) return false;
  Program& p = programs_[static_cast<size_t>(program)];
  if (p.undone.empty()) return false;
  apply(p.undone.back(), p.undone.back().after, values);
  p.done.push_back(std::move(p.undone.back()));
  p.undone.pop_back();
  leaveBehind(values, p);
  return true;
}

std::wstring UndoHistory::undoName(int program) const {
  if (!valid(program)) return {};
  const Program& p = programs_[static_cast<size_t>(program)];
  return p.done.empty() ? std::wstring() : p.done.back().name;
}

std::wstring UndoHistory::redoName(int program) const {
  if (!valid(program)) return {};
  const Program& p = programs_[static_cast<size_t>(program)];
  return p.undone.empty() ? std::wstring() : p.undone.back().name;
}

void UndoHistory::clearAll() {
  for (Program& p : programs_) {
    p.done.clear();
    p.undone.clear();
  }
  globalsKnown_ = false;
}

void UndoHistory::apply(const Step& step, const SettingsValues& to, SettingsValues& values) {
  for (size_t w = 0; w < values.words.size(); ++w) {
    if (step.before.words[w] != step.after.words[w]) values.words[w] = to.words[w];
  }
  if (step.before.midiChannel != step.after.midiChannel) values.midiChannel = to.midiChannel;
  if (step.before.boostLock != step.after.boostLock) values.boostLock = to.boostLock;
}

void UndoHistory::leaveBehind(const SettingsValues& values, Program& p) {
  p.words = values.words;
  globalsKnown_ = true;
  midiChannel_ = values.midiChannel;
  boostLock_ = values.boostLock;
}

}  // namespace orq
