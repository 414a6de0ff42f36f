#pragma once

#include "ViewData.h"

#include <memory>
#include <optional>
#include <string>

namespace ertkit_cli {

// What a request must carry to be answered, whatever it asks: the run's token (?token= or the
// X-Ertkit-Token header), a Host naming this server by its loopback address or localhost and
// its port (another name is a page of another site resolved to us: DNS rebinding), an Origin,
// when there is one, that is this server (a request from another site's page), and a path
// without "..". Empty when it may be answered, otherwise the status and why.
struct Refusal {
    int status = 0;
    std::string reason;
};
struct RequestHeaders {
    std::string target;   // as received, not decoded
    std::string path;     // decoded
    std::string token;    // of the query or the header, whichever was given
    std::string host;
    std::optional<std::string> origin;
};
Refusal refusalOf(const RequestHeaders& request, const std::string& token, int port);

// A random token of 32 hex digits from the system's random source.
std::string randomToken();

// The viewer's server on 127.0.0.1: the page, and its API over `data` (ViewData.h).
//   GET  /                  the page (tools/view, embedded at build time)
//   GET  /api/survey        every file's summary and arrays
//   GET  /api/reading       ?file=F&index=I: one reading in full
//   POST /api/qc            {rules}: quality control again, its verdicts
//   POST /api/save          {"file", "reject", "keep", "in_place"}: only with `edit`
// Requests are answered one at a time: the readers are not shared between threads.
class ViewServer {
public:
    ViewServer(ViewData& data, bool edit);
    ~ViewServer();
    ViewServer(const ViewServer&) = delete;
    ViewServer& operator=(const ViewServer&) = delete;

    // Binds 127.0.0.1:`port` (0: a free port the system picks); gives the port, throws
    // std::runtime_error when the port cannot be bound.
    int bind(int port);
    const std::string& token() const { return m_token; }
    // Answers until stop() is called (from another thread).
    void run();
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::string m_token;
};

} // namespace ertkit_cli
