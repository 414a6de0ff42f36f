#include <services/DownloadFailureText.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstring>

namespace ertkit {

std::string portFailureText(const std::string& device, int error)
{
    if (device.empty())
        return "no meter found: none of /dev/serial/by-id/*, /dev/ttyUSB*, /dev/ttyACM* exists (is the meter plugged in?)";
    switch (error) {
    case ENOENT: return "cannot open the port " + device + ": no such device (is the meter plugged in?)";
    case ENOTTY: return "cannot open the port " + device + ": not a serial device";
    case EISDIR: return "cannot open the port " + device + ": it is a folder, not a serial device";
    case EACCES:
    case EPERM:
        return "cannot open the port " + device +
               ": permission denied (add your user to the dialout group: sudo usermod -aG dialout $USER, then log in again)";
    case EBUSY: return "cannot open the port " + device + ": busy (another program is using it)";
    default: return "cannot open the port " + device + (error != 0 ? ": " + std::string(std::strerror(error)) : "");
    }
}

std::string downloadFailureWords(const DownloadSession::Failure& failure)
{
    const std::string& text = failure.message;
    if (failure.port) return text;
    if (text == "Time out version ???") return "no answer from the meter: is it on, in its download mode, and on this port? (" + text + ")";
    if (text == "Time out size ???") return "the meter stopped answering during the handshake (" + text + ")";
    return text;
}

std::string downloadFailureText(const DownloadSession::Failure& failure)
{
    const std::string words = downloadFailureWords(failure);
    return failure.code != 0 ? fmt::format("{} (error {})", words, failure.code) : words;
}

} // namespace ertkit
