// Sandboxed runs for end-to-end tests: the installer (or any command) runs in
// a private mount and process namespace where /usr, /var, /opt and /etc are
// copy-on-write overlays of the machine's trees, /tmp and every other new
// top-level path are directories of a throw-away root, ps/df/du/whoami/lpd are
// fakes steered by the test, and the distribution is shown read-only at /dist.
// The runner is tests/sandbox/run.sh (usable by hand, see its --help); this is
// its C++ face.
//
//   Sandbox sb;                                 // new /tmp/sandbox.XXXXXX
//   if (const char *why = sandboxUnavailable()) GTEST_SKIP() << why;
//   sandboxWrite(sb, "/dist/isize", "1000\n");  // distribution file (sb.dist)
//   sandboxSymlink(sb, "/usr/Zarvo/osxx", "/opt/Zarvo/osxx");  // exists before
//   sandboxMkdir(sb, "/opt/Zarvo/osxx");
//   sandboxFake(sb, "ps", "120 osqadmin\n");    // fake knob, see tests/sandbox/fake
//   sb.args = {"install", "/opt"};              // runs /dist/setup install /opt
//   sb.input = "y\n";                           // standard input, then end of input
//   sandboxRun(sb);                             // fills status, out, err
//   EXPECT_EQ(sb.status, 0);
//   EXPECT_EQ(sandboxType(sb, "/usr/Zarvo/osxx"), 'l');   // view after the run
//   EXPECT_TRUE(sandboxChanged(sb, "/usr/Zarvo"));        // the run touched it
//   std::string log = sandboxRead(sb, "/tmp/setup.log");
//
// Paths given to the helpers are paths inside the sandbox. Helpers that seed
// (sandboxWrite, sandboxMkdir, sandboxSymlink) must be called before
// sandboxRun; a path under /dist seeds the sandbox's own distribution
// directory (used when sb.dist is empty). The state directory is removed when
// the Sandbox is destroyed, unless sb.keep is set or SANDBOX_KEEP is in the
// environment (its path is then printed).
#pragma once

#include <functional>
#include <string>
#include <vector>

struct Sandbox {
    // Inputs of the run.
    std::string dist;                 // host directory shown at /dist ("" = the seeded one)
    std::string setup;                // installer copied to /dist/setup ("" = the build's setup)
    std::vector<std::string> args;    // arguments after /dist/setup
    std::vector<std::string> command; // whole command line instead of /dist/setup + args
    std::vector<std::string> env;     // extra environment entries "NAME=value"
    std::string cwd = "/dist";        // start directory inside
    std::string input;                // standard input (then end of input)
    int timeout = 60;                 // seconds before everything is killed
    bool keep = false;                // keep the state directory after the test

    // Filled by the constructor and by sandboxRun.
    std::string state;     // host state directory (see tests/sandbox/run.sh)
    int status = -1;       // exit status of the command; 124 after the time-out
    bool timedOut = false; // the run was killed by the time-out
    std::string out, err;  // standard output and standard error

    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;
};

// Null when sandboxes can be made here, else why not (for GTEST_SKIP).
const char *sandboxUnavailable();

// Runs the command in the sandbox and waits for it; fills status, timedOut,
// out and err. Returns false when the runner itself could not be started.
bool sandboxRun(Sandbox &sb);

// Runs this very test program inside the sandbox, only the test `filter`
// (gtest filter), with SANDBOX_INSIDE=1 in its environment; see
// sandboxInside(). Fills the same results as sandboxRun.
bool sandboxRunSelf(Sandbox &sb, const std::string &filter);
// True when the current process is the inside half of sandboxRunSelf.
bool sandboxInside();

// Skips the current test when sandboxes cannot be made here.
#define NEED_SANDBOX()                                                                             \
    do {                                                                                           \
        if (const char *why = sandboxUnavailable()) GTEST_SKIP() << why;                           \
    } while (0)

// Runs the test `filter` of this program inside a fresh sandbox (NEED_SANDBOX first) and
// expects it to pass, for tests whose inner half needs nothing seeded.
void sandboxSelfTest(const std::string &filter);

// The inner half of a sandboxed test, started by sandboxRunSelf(sb, "suite.name"): registered
// only in the copy of the program that runs inside, so ordinary runs neither list nor skip it.
//
//   SANDBOX_INSIDE_TEST(SequenceInside, QueueScripts) { ... }
#define SANDBOX_INSIDE_TEST(suite, name)                                                           \
    static void suite##_##name##_Inside();                                                         \
    [[maybe_unused]] static const bool suite##_##name##_Registered =                               \
        sandboxRegisterInside(#suite, #name, __FILE__, __LINE__, suite##_##name##_Inside);         \
    static void suite##_##name##_Inside()
bool sandboxRegisterInside(const char *suite, const char *name, const char *file, int line,
                           void (*body)());

// Seeding, before the run. Parents are made as needed.
void sandboxWrite(const Sandbox &sb, const std::string &path, const std::string &text,
                  unsigned mode = 0644);
void sandboxMkdir(const Sandbox &sb, const std::string &path, unsigned mode = 0755);
void sandboxSymlink(const Sandbox &sb, const std::string &path, const std::string &target);
// Writes the knob file /.sandbox/<name> of the fakes (for example "ps",
// "ps.2", "df", "du", "whoami", "lpd", "absent").
void sandboxFake(const Sandbox &sb, const std::string &name, const std::string &text);

// The view after the run. Host path holding what `path` is now ("" when it
// does not exist), its type ('d', 'f', 'l', 'o' for other, 0 when absent),
// a link's target, a file's content ("" when unreadable).
std::string sandboxHostPath(const Sandbox &sb, const std::string &path);
char sandboxType(const Sandbox &sb, const std::string &path);
std::string sandboxReadLink(const Sandbox &sb, const std::string &path);
std::string sandboxRead(const Sandbox &sb, const std::string &path);
// File mode bits (07777) of what `path` is now; -1 when absent.
int sandboxMode(const Sandbox &sb, const std::string &path);
// True when the run created, changed or removed `path` in /usr, /var, /opt or
// /etc, or created it anywhere else.
bool sandboxChanged(const Sandbox &sb, const std::string &path);
// Every path the run changed in /usr, /var, /opt and /etc, sorted; removals
// are prefixed with '-'.
std::vector<std::string> sandboxChanges(const Sandbox &sb);
// The fakes' call log, one line per call ("ps -ace", "df /tmp", ...).
std::string sandboxCalls(const Sandbox &sb);

// A text describing the machine's own places the installer would change
// (Zarvo trees, the spool, the work area, start-up links, their parents'
// change times). Equal before and after a sandboxed run when nothing escaped.
std::string sandboxHostSnapshot();

// Runs fn in a child process (normally inside a sandbox, from a test run by
// sandboxRunSelf) with `input` as standard input and its standard output and
// error captured. status is the child's exit status, or kForkReturned when fn
// returned instead of ending the process.
struct Forked {
    int status = -1;
    std::string out, err;
};
const int kForkReturned = 97;
Forked sandboxFork(const std::function<void()> &fn, const std::string &input = "");
