// Keeps the host's own failures on the host's side: a slot never lets an exception reach
// the plug-in (which is built without them); it notes the failure and answers as a failing
// host would.
#ifndef OM_OMSERVER_SLOTS_GUARD_H
#define OM_OMSERVER_SLOTS_GUARD_H

#include <exception>
#include <string>

#include "context.h"

namespace omserver {

template <typename Result, typename F>
Result Guarded(RequestState& state, const char* slot, Result failure, F&& work) noexcept {
  try {
    return work();
  } catch (const std::exception& error) {
    try {
      state.log(std::string(slot) + ": host failure: " + error.what());
    } catch (...) {
    }
  } catch (...) {
  }
  return failure;
}

// Copies text into a plug-in's buffer, cut to bufferSize - 1 and terminated.
inline void CopyOut(const std::string& text, char* buffer, int32_t bufferSize) {
  if (buffer == nullptr || bufferSize <= 0) return;
  size_t length = text.size() < static_cast<size_t>(bufferSize - 1) ? text.size() : static_cast<size_t>(bufferSize - 1);
  text.copy(buffer, length);
  buffer[length] = '\0';
}

}  // namespace omserver

#endif
