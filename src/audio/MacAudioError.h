#pragma once

#include "diagnostics/ReportableError.h"

enum class MacAudioErrorKind { permissionDenied, unavailable, empty };

// The recorder's own failures; the log shows them as code=0..2.
class MacAudioError final : public EnumeratedError<MacAudioErrorKind> {
 public:
  using Kind = MacAudioErrorKind;
  using EnumeratedError::EnumeratedError;

  static MacAudioError permissionDenied() { return MacAudioError(Kind::permissionDenied); }
  static MacAudioError unavailable() { return MacAudioError(Kind::unavailable); }
  static MacAudioError empty() { return MacAudioError(Kind::empty); }

  std::string localizedDescription() const override;
};
