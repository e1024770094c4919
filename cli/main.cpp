// orvanel-render: renders a scene file to a PNG or PPM picture, no window.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>

#include "cli/render_command.h"

namespace {

std::atomic<bool> interruptRequested{false};

// Lets the render stop between pixels so the temporary file is cleaned up.
extern "C" void onInterrupt(int) { interruptRequested.store(true); }

}  // namespace

int main(int argc, char** argv) {
    static_assert(std::atomic<bool>::is_always_lock_free);
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return runCommandLine(arguments, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1, &interruptRequested);
}
