#include "ProgramRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace {

std::vector<std::string> childEnvironment(const ProgramRun& run)
{
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    auto dropped = [&](const std::string& name) {
        for (const auto& unset : run.unsetEnv)
            if (unset == name)
                return true;
        for (const auto& set : run.setEnv)
            if (nameOf(set) == name)
                return true;
        return false;
    };
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry)
        if (!dropped(nameOf(*entry)))
            env.emplace_back(*entry);
    env.insert(env.end(), run.setEnv.begin(), run.setEnv.end());
    return env;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (auto& text : strings)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Everything the child needs is prepared before fork: between fork and exec
// the child of a threaded process may only make system calls.
struct ChildSetup {
    std::vector<std::string> args, env;
    std::vector<char*> argPointers, envPointers;
};

void prepareChild(const std::string& program, const ProgramRun& run, ChildSetup& setup)
{
    setup.args = {run.argv0.empty() ? program : run.argv0};
    setup.args.insert(setup.args.end(), run.args.begin(), run.args.end());
    setup.env = childEnvironment(run);
    setup.argPointers = pointersTo(setup.args);
    setup.envPointers = pointersTo(setup.env);
}

[[noreturn]] void execChild(const std::string& program, const ProgramRun& run, const ChildSetup& setup, int in,
                            int out, int err)
{
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    umask(run.umask);
    std::signal(SIGPIPE, SIG_DFL);  // as a shell starts it; the runner itself ignores SIGPIPE
    if (run.fileSizeLimit > 0) {
        const rlimit limit{static_cast<rlim_t>(run.fileSizeLimit), static_cast<rlim_t>(run.fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (!run.workDir.empty() && chdir(run.workDir.c_str()) != 0)
        _exit(126);
    execve(program.c_str(), setup.argPointers.data(), setup.envPointers.data());
    _exit(127);
}

long millisecondsSince(const timespec& start)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
}

void stop(pid_t child, const ProgramRun& run, int& in)
{
    if (run.beforeStop)
        run.beforeStop();
    if (run.stopSignal != 0) {
        kill(child, run.stopSignal);
        if (run.stopInput.empty())
            return;
    }
    for (std::size_t written = 0; in >= 0 && written < run.stopInput.size();) {
        const ssize_t n = write(in, run.stopInput.data() + written, run.stopInput.size() - written);
        if (n <= 0)
            break;
        written += n;
    }
    if (in >= 0)
        close(in);
    in = -1;
}

// Feeds the input and drains both output pipes together, so that no side
// blocks on a full pipe. With a deadline, standard input stays open after the
// input (the program waits for more) and the program is stopped at the deadline.
void exchange(pid_t child, int in, int out, int err, const ProgramRun& run, ProgramResult& result)
{
    const std::string& input = run.input;
    std::size_t written = 0;
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const bool closeWhenWritten = run.stopAfterMs <= 0;
    if (input.empty() && closeWhenWritten) {
        close(in);
        in = -1;
    }
    bool stopped = closeWhenWritten;
    while (out >= 0 || err >= 0) {
        int timeout = -1;
        if (!stopped) {
            const bool seen = !run.stopWhenOutput.empty() && result.out.find(run.stopWhenOutput) != std::string::npos;
            timeout = seen ? 0 : std::max(0L, run.stopAfterMs - millisecondsSince(start));
            if (timeout == 0) {
                stop(child, run, in);
                stopped = true;
                timeout = -1;
            }
        }
        const bool inputLeft = in >= 0 && written < input.size();
        pollfd fds[3] = {{inputLeft ? in : -1, POLLOUT, 0}, {out, POLLIN, 0}, {err, POLLIN, 0}};
        if (poll(fds, 3, timeout) < 0 && errno != EINTR)
            throw std::runtime_error("poll failed");
        if (inputLeft && fds[0].revents) {
            const ssize_t n = write(in, input.data() + written, input.size() - written);
            if (n > 0)
                written += n;
            if (n < 0 || (written == input.size() && closeWhenWritten)) {
                close(in);
                in = -1;
            }
        }
        int* ends[2] = {&out, &err};
        std::string* texts[2] = {&result.out, &result.err};
        for (int i = 0; i < 2; ++i) {
            if (*ends[i] < 0 || !fds[i + 1].revents)
                continue;
            char buffer[4096];
            const ssize_t n = read(*ends[i], buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, n);
            } else {
                close(*ends[i]);
                *ends[i] = -1;
            }
        }
    }
    if (in >= 0)
        close(in);
}

} // namespace

int exitStatus(int waitStatus)
{
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

ProgramResult runProgram(const std::string& program, const ProgramRun& run)
{
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
        throw std::runtime_error("pipe failed");
    std::signal(SIGPIPE, SIG_IGN);
    ChildSetup setup;
    prepareChild(program, run, setup);
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0)
        execChild(program, run, setup, in[0], out[1], err[1]);
    close(in[0]);
    close(out[1]);
    close(err[1]);

    ProgramResult result;
    exchange(child, in[1], out[0], err[0], run, result);
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.status = exitStatus(status);
    result.maxResidentKiB = usage.ru_maxrss;
    return result;
}

ProgramResult runInShell(const std::string& script, const std::string& program, ProgramRun run)
{
    run.args = {"-c", script, program};
    return runProgram("/bin/sh", run);
}

BackgroundProgram::BackgroundProgram(const std::string& program, const ProgramRun& run, const std::string& outPath,
                                     const std::string& errPath)
{
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || out < 0 || err < 0)
        throw std::runtime_error("cannot open the files of " + program);
    ChildSetup setup;
    prepareChild(program, run, setup);
    child = fork();
    if (child == 0)
        execChild(program, run, setup, in, out, err);
    close(in);
    close(out);
    close(err);
    if (child < 0)
        throw std::runtime_error("fork failed");
}

void BackgroundProgram::record(int waitStatus)
{
    status = exitStatus(waitStatus);
    child = -1;
}

bool BackgroundProgram::hasEnded()
{
    int waitStatus = 0;
    if (child > 0 && waitpid(child, &waitStatus, WNOHANG) == child)
        record(waitStatus);
    return child < 0;
}

void BackgroundProgram::send(int signal) const
{
    if (child > 0)
        kill(child, signal);
}

int BackgroundProgram::stop(int signal)
{
    if (hasEnded())
        return status;
    send(signal);
    for (int waited = 0; waited < 5000 && !hasEnded(); waited += 10)
        usleep(10000);
    if (!hasEnded()) {
        kill(child, SIGKILL);
        int waitStatus = 0;
        while (waitpid(child, &waitStatus, 0) < 0 && errno == EINTR) {
        }
        record(waitStatus);
    }
    return status;
}
