#ifndef WBK_TESTS_PROGRAM_RUNNER_H
#define WBK_TESTS_PROGRAM_RUNNER_H

#include <sys/types.h>

#include <csignal>

#include <functional>
#include <string>
#include <vector>

// Runs a program as a child process and collects what it printed. Safe to
// call from several threads at once.
struct ProgramRun {
    std::vector<std::string> args;       // argv[1..]; argv[0] is the program path
    std::string input;                   // written to standard input, then closed
    std::vector<std::string> setEnv;     // "NAME=value" added to (or replacing in) the environment
    std::vector<std::string> unsetEnv;   // names removed from the environment
    std::string workDir;                 // empty: the test's own directory
    mode_t umask = 022;
    std::string argv0;                   // empty: the program path
    int stopAfterMs = 0;                 // >0: keep standard input open and stop the program then
    std::string stopWhenOutput;          // with stopAfterMs: stop it as soon as stdout holds this
    int stopSignal = 9;                  // the signal sent to stop it (SIGKILL); 0: none
    std::string stopInput;               // then written to standard input, which is then closed
    std::function<void()> beforeStop;    // runs once, just before the program is stopped
    long fileSizeLimit = 0;              // >0: RLIMIT_FSIZE in bytes
};

struct ProgramResult {
    std::string out;
    std::string err;
    int status = -1;         // exit status 0..255, or 128 + signal number
    long maxResidentKiB = 0;  // the most memory the program held at once
};

ProgramResult runProgram(const std::string& program, const ProgramRun& run);

// A status from waitpid as ProgramResult::status gives it: 0..255, or 128 + signal number.
int exitStatus(int waitStatus);

// Runs `program` through /bin/sh -c `script`, in which "$0" names it, for what
// a shell sets up: `exec "$0" -l bank >/dev/full`, `trap '' HUP; exec "$0" ...`.
// Replaces run.args.
ProgramResult runInShell(const std::string& script, const std::string& program, ProgramRun run = {});

// A program left running while the test goes on: `run` as above, without
// input or deadline; standard output and error go to the files named.
// Destroying it stops it.
class BackgroundProgram {
public:
    BackgroundProgram(const std::string& program, const ProgramRun& run, const std::string& outPath,
                      const std::string& errPath);
    ~BackgroundProgram() { stop(); }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    bool hasEnded();
    // Sends `signal` unless the program's end has been seen.
    void send(int signal) const;
    // Sends `signal` unless the program has ended, and waits for its end,
    // SIGKILL after five seconds; the exit status as above.
    int stop(int signal = SIGTERM);

private:
    void record(int waitStatus);

    pid_t child = -1;
    int status = -1;
};

#endif
