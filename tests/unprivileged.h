// Root reads any file whatever its mode, so a test of an unreadable file
// runs its body as the unprivileged user "nobody" in a child process.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <optional>

// The exit status of `body` (0 to 255) run in a forked child as nobody, or
// nullopt when the child cannot drop its privileges or ends abnormally.
// Fork only while no other thread runs.
template <typename Body>
std::optional<int> runAsNobody(Body body) {
    constexpr uid_t kNobody = 65534;
    constexpr int kCannotDrop = 255;
    const pid_t child = fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(kCannotDrop);
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == kCannotDrop) {
        return std::nullopt;
    }
    return WEXITSTATUS(status);
}
