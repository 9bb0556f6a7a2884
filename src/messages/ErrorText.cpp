#include "messages/ErrorText.h"

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>
#include <system_error>

#include "audio/RecorderError.h"
#include "messages/Messages.h"
#include "messages/ShellMessages.h"
#include "platform/BrowserSession.h"
#include "platform/SecretStore.h"
#include "platform/linux/DesktopError.h"
#include "service/ReplyDecoding.h"
#include "service/ServiceError.h"
#include "service/TransportError.h"
#include "streaming/StreamError.h"

namespace wrenly {

namespace {

// What failed, judged by the library that reported it; a plain system error says too little.
std::string_view subjectOf(std::string_view category) {
  if (category == "pulse") return Messages::soundServerFailed;
  if (category.starts_with("boost.json")) return Messages::replyUnreadable;
  if (category.starts_with("asio.ssl")) return Messages::secureConnectionFailed;
  if (category.starts_with("asio.") || category.starts_with("beast.")) {
    return Messages::connectionFailed;
  }
  return Messages::systemFailed;
}

std::string describePlatform(std::string_view category, const std::string& platformText,
                             std::string_view whatFailed) {
  return Messages::platformFailure(whatFailed.empty() ? subjectOf(category) : whatFailed,
                                   platformText);
}

std::string describeTransport(const TransportError& error) {
  switch (error.code()) {
    case TransportError::couldNotResolveProxy:
    case TransportError::couldNotResolveHost:
      return Messages::cannotConnect;
    case TransportError::couldNotConnect:
      if (error.place() == ServicePlace::thisMachine) return Messages::localServiceNotRunning;
      return Messages::cannotConnect;
    case TransportError::timedOut:
      return Messages::connectionTimedOut;
    case TransportError::cancelled:
      return Messages::connectionCancelled;
    default:
      break;
  }
  // The transfer library's own sentence says what went wrong.
  return Messages::platformFailure(
      error.isTlsFailure() ? Messages::secureConnectionFailed : Messages::connectionFailed,
      error.platformText());
}

const char* text(StreamErrorKind kind) {
  switch (kind) {
    case StreamErrorKind::invalidResponse:
      break;
    case StreamErrorKind::startTimeout:
      return Messages::streamStartTimeout;
    case StreamErrorKind::finalTimeout:
      return Messages::streamFinalTimeout;
    case StreamErrorKind::backpressure:
      return Messages::streamBackpressure;
  }
  return Messages::streamInvalidResponse;
}

const char* text(AudioErrorKind kind) {
  switch (kind) {
    case AudioErrorKind::permissionDenied:
      return Messages::microphonePermissionDenied;
    case AudioErrorKind::unavailable:
      return Messages::microphoneUnavailable;
    case AudioErrorKind::empty:
      break;
  }
  return Messages::noSpeech;
}

const char* text(SecretStoreFailure failure) {
  switch (failure) {
    case SecretStoreFailure::unavailable:
      return Messages::keyringUnavailable;
    case SecretStoreFailure::locked:
      return Messages::keyringLocked;
    case SecretStoreFailure::timedOut:
      return Messages::keyringTimedOut;
    case SecretStoreFailure::failed:
      break;
  }
  return Messages::keyringFailed;
}

const char* text(BrowserSessionFailure failure) {
  switch (failure) {
    case BrowserSessionFailure::startRefused:
      return Messages::browserRefused;
    case BrowserSessionFailure::cancelled:
      break;
  }
  return Messages::signInCancelled;
}

std::string describeService(const ServiceError& error, const Messages::SignInWording& signIn) {
  switch (error.kind()) {
    case ServiceError::Kind::rejected:
      if (error.status() == 401 || error.status() == 403) return Messages::credentialsRejected;
      if (error.status() == 409) return Messages::anotherRequestRunning;
      if (error.status() == 429) return Messages::serviceBusy;
      return Messages::serviceUnavailable;
    case ServiceError::Kind::service:
      if (error.code() == "login_failed") return signIn.notCompleted;
      if (error.code() == "access_disabled") return Messages::accountDisabled;
      if (error.code() == "invalid_access") return Messages::signInExpired;
      if (error.code() == "request_busy") return Messages::previousRequestEnding;
      if (error.code() == "provider_rate_limited") return Messages::providerBusy;
      if (error.code() == "recognition_failed") return Messages::engineFailed;
      return Messages::serviceFailed;
    case ServiceError::Kind::invalidURL:
      return Messages::invalidServiceURL;
    case ServiceError::Kind::missingInvitation:
      return signIn.first;
    case ServiceError::Kind::invalidResponse:
      break;
    case ServiceError::Kind::emptyTranscript:
      return Messages::emptyTranscript;
  }
  return Messages::invalidResponse;
}

std::string describeOwn(const ReportableError& error, bool localService) {
  if (auto* service = dynamic_cast<const ServiceError*>(&error)) {
    return describeService(*service, Messages::signInWording(localService));
  }
  if (auto* transport = dynamic_cast<const TransportError*>(&error)) {
    return describeTransport(*transport);
  }
  if (dynamic_cast<const ReplyDecodingError*>(&error)) {
    return Messages::platformFailure(Messages::replyUnreadable, {});
  }
  if (auto* stream = dynamic_cast<const StreamError*>(&error)) return text(stream->value());
  if (auto* recorder = dynamic_cast<const RecorderError*>(&error)) return text(recorder->value());
  if (auto* secrets = dynamic_cast<const SecretStoreError*>(&error)) return text(secrets->value());
  if (auto* browser = dynamic_cast<const BrowserSessionError*>(&error)) {
    return text(browser->value());
  }
  return Messages::unexpectedError;
}

}  // namespace

std::string describe(const std::exception& error, std::string_view whatFailed, bool localService) {
  if (auto* own = dynamic_cast<const ReportableError*>(&error)) {
    return describeOwn(*own, localService);
  }
  if (auto* system = dynamic_cast<const boost::system::system_error*>(&error)) {
    if (system->code() == boost::asio::error::operation_aborted) return Messages::cancelled;
    return describePlatform(system->code().category().name(), system->code().message(), whatFailed);
  }
  if (auto* system = dynamic_cast<const std::system_error*>(&error)) {
    return describePlatform(system->code().category().name(), system->code().message(), whatFailed);
  }
  if (!whatFailed.empty()) return Messages::platformFailure(whatFailed, {});
  return Messages::unexpectedError;
}

std::string describe(const std::exception_ptr& error, std::string_view whatFailed,
                     bool localService) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return describe(e, whatFailed, localService);
  } catch (...) {
  }
  return Messages::unexpectedError;
}

const char* describe(const DesktopError& error) {
  switch (error.missing) {
    case DesktopMissing::sessionBus:
    case DesktopMissing::keyring:
      return ShellMessages::noKeyring;
    case DesktopMissing::soundServer:
      return ShellMessages::noSoundServer;
    case DesktopMissing::display:
      return Messages::noXDisplay;
    case DesktopMissing::displayUnreachable:
      break;
    case DesktopMissing::xinput2:
      return Messages::noXInput2;
    case DesktopMissing::xtest:
      return Messages::noXTest;
  }
  return Messages::xDisplayUnreachable;
}

}  // namespace wrenly
