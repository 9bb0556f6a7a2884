#pragma once

#include "base/ReportableError.h"

namespace wrenly {

enum class AudioErrorKind { permissionDenied, unavailable, empty };

// The log's code of each case (EnumeratedError), fixed whatever the order of the cases.
constexpr int logCode(AudioErrorKind value) {
  switch (value) {
    case AudioErrorKind::permissionDenied:
      return 0;
    case AudioErrorKind::unavailable:
      return 1;
    case AudioErrorKind::empty:
      return 2;
  }
  return -1;
}

// The recorder's own failures; the log shows them as code=0..2.
class RecorderError final : public EnumeratedError<AudioErrorKind> {
 public:
  using Kind = AudioErrorKind;
  using EnumeratedError::EnumeratedError;

  static RecorderError permissionDenied() { return RecorderError(Kind::permissionDenied); }
  static RecorderError unavailable() { return RecorderError(Kind::unavailable); }
  static RecorderError empty() { return RecorderError(Kind::empty); }
};

}  // namespace wrenly
