// Settings of the simulated /dev/dsp, read from FAKEDSP_* environment
// variables each time the device is opened.
#pragma once

namespace fakedsp {

// Every call of the device that can be made to fail.
enum Op {
    OP_OPEN,
    OP_CLOSE,
    OP_WRITE,
    OP_POLL,
    OP_SETFMT,
    OP_STEREO,
    OP_SPEED,
    OP_GETOSPACE,
    OP_GETBLKSIZE,
    OP_SYNC,
    OP_POST,
    OP_RESET,
    OP_COUNT
};

const char* op_name(Op op);

// Name of an errno value ("EIO"), or nullptr when unknown.
const char* errno_name(int err);

constexpr int kMaxMappings = 8;
constexpr int kMaxNth = 9;    // FAKEDSP_ANSWER_<CTL>_1 .. _9
constexpr int kAnswered = 3;  // SETFMT, STEREO, SPEED

// "in:out,in:out,fixed": maps requested values; `fixed` answers all others.
struct AnswerRule {
    bool set = false;
    int count = 0;
    int in[kMaxMappings] = {};
    int out[kMaxMappings] = {};
    bool has_fixed = false;
    int fixed = 0;
};

// Answer of `rule` for the requested value, false when the rule is silent.
bool apply_rule(const AnswerRule& rule, int in, int* out);

struct Failure {
    bool on = false;
    int nth = 0;  // 0: every call; k: only the k-th call
    int err = 0;
};

struct Config {
    bool realtime = false;
    bool sync_needs_blocking = false;  // SYNC on a non-blocking descriptor: EAGAIN
    int fragment = 4096;
    int buffer = 4 * 4096;
    int partial = 0;       // 0: no limit per write
    int eagain_every = 0;  // 0: never
    // [control][0] applies to every call, [control][k] to the k-th call.
    AnswerRule answer[kAnswered][kMaxNth + 1];
    Failure fail[OP_COUNT];
};

// Reads the environment into `cfg`; complains on stderr about bad values
// and keeps the defaults for them.
void load_config(Config* cfg);

}  // namespace fakedsp
