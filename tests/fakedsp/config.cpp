#include "config.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fakedsp {
namespace {

const char* const kOpNames[OP_COUNT] = {
    "open",  "close",     "write",      "poll", "SETFMT", "STEREO",
    "SPEED", "GETOSPACE", "GETBLKSIZE", "SYNC", "POST",   "RESET",
};

struct ErrnoName {
    int value;
    const char* name;
};

const ErrnoName kErrnos[] = {
    {EIO, "EIO"},       {ENODEV, "ENODEV"}, {ENXIO, "ENXIO"},   {EBUSY, "EBUSY"},
    {EINVAL, "EINVAL"}, {EAGAIN, "EAGAIN"}, {EINTR, "EINTR"},   {EPERM, "EPERM"},
    {EACCES, "EACCES"}, {ENOENT, "ENOENT"}, {ENOTTY, "ENOTTY"}, {ENOMEM, "ENOMEM"},
    {ENOSPC, "ENOSPC"}, {EPIPE, "EPIPE"},   {EFAULT, "EFAULT"}, {EBADF, "EBADF"},
};

// A token is the range [begin, end) of an environment value.
struct Token {
    const char* begin;
    const char* end;
};

bool parse_int(Token t, int* out) {
    if (t.begin == t.end) return false;
    char* stop = nullptr;
    long v = strtol(t.begin, &stop, 10);
    if (stop != t.end || v < -2147483647L || v > 2147483647L) return false;
    *out = static_cast<int>(v);
    return true;
}

bool parse_errno(Token t, int* out) {
    size_t len = t.end - t.begin;
    for (const ErrnoName& e : kErrnos) {
        if (strlen(e.name) == len && strncasecmp(e.name, t.begin, len) == 0) {
            *out = e.value;
            return true;
        }
    }
    return parse_int(t, out) && *out > 0;
}

const char* find(Token t, char c) {
    const char* p = static_cast<const char*>(memchr(t.begin, c, t.end - t.begin));
    return p ? p : t.end;
}

// Calls `item` for each comma-separated token; false if any item is bad.
template <class F>
bool for_each_item(const char* value, F item) {
    const char* p = value;
    for (;;) {
        const char* comma = strchrnul(p, ',');
        if (!item(Token{p, comma})) return false;
        if (*comma == '\0') return true;
        p = comma + 1;
    }
}

void complain(const char* var, const char* value) {
    fprintf(stderr, "fakedsp: ignoring bad %s=%s\n", var, value);
}

void load_int(const char* var, int min, int* out) {
    const char* value = getenv(var);
    if (!value) return;
    int v = 0;
    if (parse_int(Token{value, value + strlen(value)}, &v) && v >= min)
        *out = v;
    else
        complain(var, value);
}

bool parse_answer_item(Token t, AnswerRule* rule) {
    const char* colon = find(t, ':');
    int in = 0;
    int out = 0;
    if (colon == t.end) {
        rule->has_fixed = parse_int(t, &rule->fixed);
        return rule->has_fixed;
    }
    if (rule->count == kMaxMappings) return false;
    if (!parse_int(Token{t.begin, colon}, &in) || !parse_int(Token{colon + 1, t.end}, &out))
        return false;
    rule->in[rule->count] = in;
    rule->out[rule->count] = out;
    rule->count++;
    return true;
}

void load_answer(const char* var, AnswerRule* rule) {
    const char* value = getenv(var);
    if (!value) return;
    AnswerRule parsed;
    parsed.set = true;
    if (for_each_item(value, [&](Token t) { return parse_answer_item(t, &parsed); }))
        *rule = parsed;
    else
        complain(var, value);
}

// NAME[@k][:ERRNO]
bool parse_failure_item(Token t, Failure* fail) {
    const char* colon = find(t, ':');
    const char* at = find(Token{t.begin, colon}, '@');
    Failure f;
    f.on = true;
    f.err = EIO;
    if (at != colon && (!parse_int(Token{at + 1, colon}, &f.nth) || f.nth < 1)) return false;
    if (colon != t.end && !parse_errno(Token{colon + 1, t.end}, &f.err)) return false;
    size_t len = at - t.begin;
    for (int op = 0; op < OP_COUNT; ++op) {
        if (strlen(kOpNames[op]) == len && strncasecmp(kOpNames[op], t.begin, len) == 0) {
            fail[op] = f;
            return true;
        }
    }
    return false;
}

void load_failures(Failure* fail) {
    const char* value = getenv("FAKEDSP_FAIL");
    if (!value || !*value) return;
    if (!for_each_item(value, [&](Token t) { return parse_failure_item(t, fail); }))
        complain("FAKEDSP_FAIL", value);
}

}  // namespace

const char* op_name(Op op) { return kOpNames[op]; }

const char* errno_name(int err) {
    for (const ErrnoName& e : kErrnos)
        if (e.value == err) return e.name;
    return nullptr;
}

bool apply_rule(const AnswerRule& rule, int in, int* out) {
    if (!rule.set) return false;
    for (int i = 0; i < rule.count; ++i) {
        if (rule.in[i] == in) {
            *out = rule.out[i];
            return true;
        }
    }
    if (rule.has_fixed) *out = rule.fixed;
    return rule.has_fixed;
}

void load_config(Config* cfg) {
    *cfg = Config();
    int realtime = 0;
    load_int("FAKEDSP_REALTIME", 0, &realtime);
    cfg->realtime = realtime != 0;
    int sync_needs_blocking = 0;
    load_int("FAKEDSP_SYNC_NEEDS_BLOCKING", 0, &sync_needs_blocking);
    cfg->sync_needs_blocking = sync_needs_blocking != 0;
    load_int("FAKEDSP_FRAGMENT", 1, &cfg->fragment);
    cfg->buffer = 4 * cfg->fragment;
    load_int("FAKEDSP_BUFFER", cfg->fragment, &cfg->buffer);
    load_int("FAKEDSP_PARTIAL", 0, &cfg->partial);
    load_int("FAKEDSP_EAGAIN_EVERY", 0, &cfg->eagain_every);
    for (int c = 0; c < kAnswered; ++c) {
        char var[64];
        const char* name = op_name(static_cast<Op>(OP_SETFMT + c));
        snprintf(var, sizeof var, "FAKEDSP_ANSWER_%s", name);
        load_answer(var, &cfg->answer[c][0]);
        for (int k = 1; k <= kMaxNth; ++k) {
            snprintf(var, sizeof var, "FAKEDSP_ANSWER_%s_%d", name, k);
            load_answer(var, &cfg->answer[c][k]);
        }
    }
    load_failures(cfg->fail);
}

}  // namespace fakedsp
