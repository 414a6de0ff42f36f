// view: the survey in the browser, served by a local web server until the tool is stopped.
#include "Commands.h"

#include "ViewData.h"
#include "ViewServer.h"

#include <fmt/format.h>

#include <atomic>
#include <csignal>
#include <iostream>
#include <thread>

#include <pthread.h>

namespace ertkit_cli {

void runView(const ViewOptions& options, Context& context)
{
    std::unique_ptr<ViewData> data;
    try {
        data = std::make_unique<ViewData>(options.files, options.recordings);
    } catch (const std::exception& e) {
        context.fail(e.what());
        return;
    }
    ViewServer server(*data, options.edit);
    int port = 0;
    try {
        port = server.bind(static_cast<int>(options.port));
    } catch (const std::exception& e) {
        context.fail(e.what());
        return;
    }
    // The first line is the URL alone, for a user to open and a script to read.
    std::cout << fmt::format("http://127.0.0.1:{}/?token={}", port, server.token()) << std::endl;
    if (!context.quiet)
        std::cout << fmt::format("serving {} file{}{}; Ctrl-C stops", data->fileCount(), data->fileCount() == 1 ? "" : "s",
                                 options.edit ? ", saving allowed" : ", read-only")
                  << std::endl;
    // Ctrl-C is how a viewer ends, not an interruption of work under way: the signals are
    // taken here, by a watcher that waits for them, rather than by the tool's handler (which
    // would report the command as interrupted). Blocked before the server's threads start, so
    // that none of them receives one.
    sigset_t stops, previous;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, &previous);
    std::atomic<bool> done = false;
    std::thread watcher([&] {
        const timespec wait{0, 100'000'000};
        while (!done && sigtimedwait(&stops, nullptr, &wait) < 0) {
        }
        server.stop();
    });
    server.run();
    done = true;
    watcher.join();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

} // namespace ertkit_cli
