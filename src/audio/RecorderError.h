#pragma once

#include "diagnostics/ReportableError.h"

namespace wrenly {

enum class AudioErrorKind { permissionDenied, unavailable, empty };

// The recorder's own failures; the log shows them as code=0..2.
class RecorderError final : public EnumeratedError<AudioErrorKind> {
 public:
  using Kind = AudioErrorKind;
  using EnumeratedError::EnumeratedError;

  static RecorderError permissionDenied() { return RecorderError(Kind::permissionDenied); }
  static RecorderError unavailable() { return RecorderError(Kind::unavailable); }
  static RecorderError empty() { return RecorderError(Kind::empty); }

  std::string localizedDescription() const override;
};

}  // namespace wrenly
