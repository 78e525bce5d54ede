// Runs the built strandprobe program as a child process, as a script would,
// and collects how it ended and what it printed.
#pragma once

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

// The status a sanitizer ends a sanitized strandprobe with when it finds a
// fault: not one of the program's own, so a report cannot pass for one.
constexpr int SANITIZER_STATUS = 86;

struct Outcome {
    int status;       // exit status, or 128 + the signal's number, as a shell says
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs strandprobe with `args`, named "strandprobe" in argv[0] (so
// getopt_long names it that way in its diagnostics), in the C locale (so
// those are in English) and with the sanitizers set to end it with
// SANITIZER_STATUS.
inline Outcome run_strandprobe(const std::vector<std::string>& args)
{
    std::vector<std::string> words = {"strandprobe"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    const std::string code = std::to_string(SANITIZER_STATUS);
    std::string environment[] = {"LC_ALL=C", "ASAN_OPTIONS=exitcode=" + code,
                                 "UBSAN_OPTIONS=halt_on_error=1:exitcode=" + code};
    char* envp[] = {&environment[0][0], &environment[1][0], &environment[2][0], nullptr};

    Outcome outcome{-1, "", ""};
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0)
        return outcome;
    if (pipe(err_pipe) != 0) {
        close(out_pipe[0]);
        close(out_pipe[1]);
        return outcome;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            close(fd);
        execve(STRANDPROBE_PATH, argv.data(), envp);
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    for (int open_streams = 2; open_streams > 0 && poll(fds, 2, -1) > 0;) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, size_t(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_streams;
            }
        }
    }
    int wait_status = 0;
    if (pid > 0 && waitpid(pid, &wait_status, 0) == pid)
        outcome.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return outcome;
}
