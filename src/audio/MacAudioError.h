#pragma once

#include "diagnostics/ReportableError.h"

namespace wrenly {

enum class AudioErrorKind { permissionDenied, unavailable, empty };

// The recorder's own failures; the log shows them as code=0..2.
class MacAudioError final : public EnumeratedError<AudioErrorKind> {
 public:
  using Kind = AudioErrorKind;
  using EnumeratedError::EnumeratedError;

  static MacAudioError permissionDenied() { return MacAudioError(Kind::permissionDenied); }
  static MacAudioError unavailable() { return MacAudioError(Kind::unavailable); }
  static MacAudioError empty() { return MacAudioError(Kind::empty); }

  std::string localizedDescription() const override;
};

}  // namespace wrenly
