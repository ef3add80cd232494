// One state-changing request: skip check, a first try with the caller's own
// file-system rights, and, when that fails and the request carries
// authorization data, a check and a retry with the service's rights on the
// main queue. A first try that met a folder or file the caller may not look
// at has not done the work, whatever it found. Exactly one reply in every case.
#include <unistd.h>

#include "Helper/Helper4Ostrakel.h"
#include "Library/Common/Errors.h"
#include "Library/Common/Logger4Ostrakel.h"
#include "platform/Assertion.h"
#include "platform/FileSystemCredentials.h"
#include "platform/Format.h"
#include "platform/MainQueue.h"
#include "platform/RemotePeer.h"
#include "platform/SafeLookup.h"

namespace ostrakel {

namespace {

// The error answered for an operation that raised instead of failing: the
// action's own code, with the exception's text underneath.
ErrorRef exceptionError(const std::string& name, const std::exception& exception) {
  std::string text = exception.what();
  if (auto* inconsistency = dynamic_cast<const InternalInconsistencyException*>(&exception))
    text = formatString("%@ (%@:%d)", {inconsistency->description(), inconsistency->file(),
                                       inconsistency->line()});
  Logger4Ostrakel::logWithLevel(3, "Action %@ raised: %@", {name, text});
  UserInfo underlyingInfo;
  underlyingInfo.localizedDescription = text;
  const int64_t code = Helper4Ostrakel::stringsForName(name).error;
  return errorWithCode(kOstrakelErrorDomain, code,
                       makeError("NSInternalInconsistencyException", 0, std::move(underlyingInfo)));
}

ErrorRef unknownExceptionError(const std::string& name) {
  return exceptionError(name, std::runtime_error("unknown exception"));
}

const char* outcomeWord(const ErrorRef& error) { return error ? "FAILED" : "done"; }

// Bytes a peer chose, made safe for one log line.
std::string escapedForLog(const std::string& text) {
  static const char* const kHex = "0123456789abcdef";
  std::string escaped;
  for (unsigned char c : text) {
    if (c == '\\' || c == '"') {
      escaped += '\\';
      escaped += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f) {
      escaped += c == '\n' ? std::string("\\n") : std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
    } else {
      escaped += static_cast<char>(c);
    }
  }
  return escaped;
}

// One line per state-changing request: who asked, what for, and how it ended.
void logOutcome(const remote::PeerCredentials* peer, const std::string& name, const std::string& target,
                const std::string& outcome) {
  const std::string what = target.empty() ? name : formatString("%@ \"%@\"", {name, escapedForLog(target)});
  Logger4Ostrakel::logWithLevel(5, "Request by uid %ld pid %ld: %@: %@",
                                {static_cast<long>(peer ? peer->uid : ::getuid()),
                                 static_cast<long>(peer ? peer->pid : ::getpid()), what, outcome});
}

std::string outcomeText(const ErrorRef& error) {
  if (!error) return "done";
  return formatString("FAILED (%@ %ld)", {error->domain, static_cast<long>(error->code)});
}

}  // namespace

void Helper4Ostrakel::executeActionWithName(const std::string& name, const AuthorizationData& authorization,
                                            ActionBlock actionBlock, SkipBlock skipBlock,
                                            ReplyBlock replyBlock, const std::string& target,
                                            DetailsBlock detailsBlock) {
  Logger4Ostrakel::logWithLevel(7, "Action: %@", {name});
  const std::string message = stringsForName(name).message;
  const char* firstFormat = authorization ? "%@ %@" : "%@ %@ (NO authData)";

  const remote::PeerCredentials* peer = remote::currentPeer();
  ErrorRef error;
  bool succeeded = false;
  try {
    bool inPlace = false;
    if (skipBlock) {
      // The check only reads: the links it meets again (the texbin chain is
      // checked from two ends) are walked once.
      safelookup::ReadOnlyScope walkedOnce;
      inPlace = skipBlock();
    }
    if (inPlace) {
      logOutcome(peer, name, target, "skipped");
      replyBlock(formatString("%@: skipped", {message}), nullptr);
      return;
    }
    // The first try may do only what the caller could do by itself.
    FileSystemCredentialsScope credentials(peer);
    succeeded = actionBlock(&error);
    // A try that was refused a look found nothing only because it could not
    // see: it counts as failed, so that the service's rights are asked for.
    if (succeeded && credentials.refusal()) {
      succeeded = false;
      storeFirstError(&error, errorWithCode(kOstrakelErrorDomain, stringsForName(name).error, credentials.refusal()));
    }
  } catch (const std::exception& exception) {
    ErrorRef failure = exceptionError(name, exception);
    logOutcome(peer, name, target, outcomeText(failure));
    replyBlock(formatString(firstFormat, {message, "FAILED"}), failure);
    return;
  } catch (...) {
    ErrorRef failure = unknownExceptionError(name);
    logOutcome(peer, name, target, outcomeText(failure));
    replyBlock(formatString(firstFormat, {message, "FAILED"}), failure);
    return;
  }

  if (succeeded || !authorization) {
    logOutcome(peer, name, target, outcomeText(error));
    replyBlock(formatString(firstFormat, {message, outcomeWord(error)}), error);
    return;
  }

  // The check may wait for a person to answer, so it runs on the main queue,
  // as the peer of this request.
  std::shared_ptr<Helper4Ostrakel> self = weak_from_this().lock();
  std::optional<remote::PeerCredentials> retryPeer;
  if (peer) retryPeer = *peer;
  mainqueue::post([self, authorization, name, actionBlock, replyBlock, message, retryPeer, target, detailsBlock] {
    remote::CurrentPeerScope scope(retryPeer);
    ErrorRef outcome;
    try {
      ErrorRef authorizationError;
      const std::string details = detailsBlock ? detailsBlock() : std::string();
      if (checkAuthorization(authorization, name, details, &authorizationError)) {
        Logger4Ostrakel::logWithLevel(6, std::string("Credentials OK"));
        ErrorRef slot = authorizationError;
        actionBlock(&slot);
        outcome = slot;
      } else {
        outcome = errorWithCode(kOstrakelErrorDomain, stringsForName(name).error, authorizationError);
      }
    } catch (const std::exception& exception) {
      outcome = exceptionError(name, exception);
    } catch (...) {
      outcome = unknownExceptionError(name);
    }
    logOutcome(retryPeer ? &*retryPeer : nullptr, name, target, outcomeText(outcome) + " after authorization");
    replyBlock(formatString("%@ %@", {message, outcomeWord(outcome)}), outcome);
  });
}

}  // namespace ostrakel
