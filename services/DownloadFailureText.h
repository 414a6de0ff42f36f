#pragma once

#include <services/DownloadSession.h>

#include <string>

namespace ertkit {

// The words a person reads when a download fails, the same from the tool and from Python.

// Which device could not be opened and why, with the usual remedy; an empty device means the
// search found none. `error` is the system's error number of the last try.
std::string portFailureText(const std::string& device, int error);

// What a failure means: a port failure as the session wrote it, the library's handshake
// messages kept as they are with what they mean to a person.
std::string downloadFailureWords(const DownloadSession::Failure& failure);

// The words with the failure's code, when the host's progress sink set one (it says nothing
// otherwise, so it is left out).
std::string downloadFailureText(const DownloadSession::Failure& failure);

} // namespace ertkit
