// view: the survey in the browser, served by a local web server until the tool is stopped.
#include "Commands.h"

#include "ViewData.h"
#include "ViewServer.h"

#include <services/Interruption.h>

#include <fmt/format.h>

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>

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
    // The signal handler only raises a flag: a watcher turns it into the server's stop.
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread watcher([&] {
        std::unique_lock lock(mutex);
        while (!done && ertkit::interruptionSignal() == 0) ended.wait_for(lock, std::chrono::milliseconds(100));
        lock.unlock();
        server.stop();
    });
    server.run();
    {
        const std::lock_guard lock(mutex);
        done = true;
    }
    ended.notify_one();
    watcher.join();
}

} // namespace ertkit_cli
