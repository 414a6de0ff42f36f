#include "ViewServer.h"

#include "ViewPage.h"

#include <services/AtomicOutput.h>

#include <fmt/format.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <fstream>
#include <mutex>
#include <stdexcept>

namespace ertkit_cli {

using nlohmann::json;

namespace {

// Compares without stopping at the first difference, so that the time taken says nothing of
// how much of a guessed token was right.
bool sameToken(const std::string& given, const std::string& token)
{
    if (given.size() != token.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < token.size(); ++i) difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

std::size_t indexParameter(const httplib::Request& request, const char* name)
{
    const std::string text = request.get_param_value(name);
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw std::invalid_argument(fmt::format("{} must be a whole number, not \"{}\"", name, text.substr(0, 40)));
    return value;
}

// The library compresses an answer whose type is exactly "application/json" for a browser
// that accepts it, with Brotli at its slowest setting: seconds for the arrays of a large
// survey sent over the loopback. The charset keeps the type off its list.
constexpr const char* s_json_type = "application/json; charset=utf-8";

void answer(httplib::Response& response, int status, const std::string& body, const char* type = s_json_type)
{
    response.status = status;
    response.set_content(body, type);
}

void answerError(httplib::Response& response, int status, const std::string& message)
{
    answer(response, status, json{{"error", message}}.dump());
}

} // namespace

Refusal refusalOf(const RequestHeaders& request, const std::string& token, int port)
{
    const std::string loopback = fmt::format("127.0.0.1:{}", port), local = fmt::format("localhost:{}", port);
    if (request.host != loopback && request.host != local) return {403, "this server answers only to " + loopback + " or " + local};
    if (request.origin && *request.origin != "http://" + loopback && *request.origin != "http://" + local)
        return {403, "requests from other sites' pages are refused"};
    if (request.target.find("..") != std::string::npos || request.path.find("..") != std::string::npos)
        return {400, "no path with \"..\" is served"};
    if (!sameToken(request.token, token)) return {403, "the token of this run is missing or wrong: open the URL the tool printed"};
    return {};
}

std::string randomToken()
{
    std::ifstream source("/dev/urandom", std::ios::binary);
    std::array<unsigned char, 16> bytes{};
    if (!source.read(reinterpret_cast<char*>(bytes.data()), bytes.size())) throw std::runtime_error("cannot read /dev/urandom for the token");
    std::string token;
    for (const unsigned char byte : bytes) token += fmt::format("{:02x}", byte);
    return token;
}

struct ViewServer::Impl {
    Impl(ViewData& d, bool e) : data(d), edit(e) {}
    ViewData& data;
    bool edit;
    httplib::Server server;
    std::mutex mutex;
    int port = 0;
};

ViewServer::ViewServer(ViewData& data, bool edit) : m_impl(std::make_unique<Impl>(data, edit)), m_token(randomToken())
{
    httplib::Server& server = m_impl->server;
    Impl& impl = *m_impl;
    server.set_payload_max_length(std::size_t{64} << 20);
    server.set_pre_routing_handler([this, &impl](const httplib::Request& request, httplib::Response& response) {
        RequestHeaders headers{request.target, request.path, request.get_param_value("token"), request.get_header_value("Host"), std::nullopt};
        if (request.has_header("X-Ertkit-Token")) headers.token = request.get_header_value("X-Ertkit-Token");
        if (request.has_header("Origin")) headers.origin = request.get_header_value("Origin");
        // Pages are never cached, and the token in the URL is never passed on to another site.
        response.set_header("Cache-Control", "no-store");
        response.set_header("Referrer-Policy", "no-referrer");
        response.set_header("X-Content-Type-Options", "nosniff");
        if (const Refusal refusal = refusalOf(headers, m_token, impl.port); refusal.status != 0) {
            answerError(response, refusal.status, refusal.reason);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // Every answer is made under one lock, and a failure is the request's, never the server's.
    const auto guarded = [&impl](auto work) {
        return [&impl, work](const httplib::Request& request, httplib::Response& response) {
            const std::lock_guard lock(impl.mutex);
            try {
                work(request, response);
            } catch (const std::out_of_range& e) {
                answerError(response, 404, e.what());
            } catch (const std::invalid_argument& e) {
                answerError(response, 400, e.what());
            } catch (const json::exception& e) {
                answerError(response, 400, std::string("the request is not the JSON expected: ") + e.what());
            } catch (const std::exception& e) {
                answerError(response, 500, e.what());
            }
        };
    };
    server.Get("/", guarded([](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Security-Policy",
                            "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; connect-src 'self'; img-src data:");
        answer(response, 200, viewPage(), "text/html; charset=utf-8");
    }));
    server.Get("/api/survey", guarded([&impl](const httplib::Request&, httplib::Response& response) {
        answer(response, 200, impl.data.surveyJson(impl.edit));
    }));
    server.Get("/api/reading", guarded([&impl](const httplib::Request& request, httplib::Response& response) {
        answer(response, 200, impl.data.readingJson(indexParameter(request, "file"), indexParameter(request, "index")));
    }));
    server.Post("/api/qc", guarded([&impl](const httplib::Request& request, httplib::Response& response) {
        const json body = json::parse(request.body);
        answer(response, 200, impl.data.applyRules(body.value("rules", json::object())));
    }));
    server.Post("/api/save", guarded([&impl](const httplib::Request& request, httplib::Response& response) {
        if (!impl.edit) {
            answerError(response, 403, "the viewer is read-only: start it with --edit to save");
            return;
        }
        const json body = json::parse(request.body);
        try {
            answer(response, 200,
                   impl.data.save(body.at("file").get<std::size_t>(), body.value("reject", std::vector<std::size_t>{}),
                                  body.value("keep", std::vector<std::size_t>{}), body.value("in_place", false)));
        } catch (const ertkit::WriteError& e) {
            answerError(response, 500, e.what());
        }
    }));
}

ViewServer::~ViewServer() = default;

int ViewServer::bind(int port)
{
    if (port == 0) m_impl->port = m_impl->server.bind_to_any_port("127.0.0.1");
    else if (m_impl->server.bind_to_port("127.0.0.1", port)) m_impl->port = port;
    else m_impl->port = -1;
    if (m_impl->port <= 0) throw std::runtime_error(fmt::format("cannot listen on 127.0.0.1:{}", port));
    return m_impl->port;
}

void ViewServer::run()
{
    m_impl->server.listen_after_bind();
}

void ViewServer::stop()
{
    m_impl->server.stop();
}

} // namespace ertkit_cli
