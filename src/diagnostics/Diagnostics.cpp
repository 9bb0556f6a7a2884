#include "diagnostics/Diagnostics.h"

#include <boost/system/system_error.hpp>
#include <cstdlib>
#include <system_error>

#include "base/ReportableError.h"
#include "base/UserFolders.h"
#include "diagnostics/DiagnosticsLog.h"

namespace wrenly {

namespace Diagnostics {
namespace {

std::filesystem::path computeDirectory() {
  const auto base = userFolder("XDG_STATE_HOME", ".local/state");
  return base.value_or(std::filesystem::temp_directory_path()) / "Wrenly" / "Diagnostics";
}

// The one process-wide log, made on first use.
DiagnosticsLog& log() {
  static DiagnosticsLog instance(computeDirectory());
  return instance;
}

}  // namespace

void record(std::string_view line) {
  log().record(line);
}

std::string errorCode(const std::exception& error) {
  if (auto* own = dynamic_cast<const ReportableError*>(&error)) return own->diagnosticCode();
  if (auto* boostError = dynamic_cast<const boost::system::system_error*>(&error)) {
    return "code=" + std::to_string(boostError->code().value());
  }
  if (auto* stdError = dynamic_cast<const std::system_error*>(&error)) {
    return "code=" + std::to_string(stdError->code().value());
  }
  return "code=-1";
}

std::string errorCode(const std::exception_ptr& error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return errorCode(e);
  } catch (...) {
  }
  return "code=-1";
}

std::filesystem::path directory() {
  return log().directory();
}

void flush() {
  log().flush();
}

}  // namespace Diagnostics

}  // namespace wrenly
