// The C++ face of tests/sandbox/run.sh: seeding, running and inspecting sandboxed runs,
// running this program's own tests inside, and forked children with captured output.
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char *const kTrees[] = {"usr", "var", "opt", "etc"};

std::string runnerPath() {
    // From the build's source directory, not __FILE__: a compiler cache may
    // record relative file names.
    return fs::path(SOURCE_DIR) / "tests" / "sandbox" / "run.sh";
}

std::string selfPath() {
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).string();
}

// The installer built next to this test program.
std::string defaultSetup() {
    return (fs::path(selfPath()).parent_path() / "setup").string();
}

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const std::string &path, const std::string &text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Splits an inside path into its overlaid tree ("" when none) and the rest.
std::string treeOf(const std::string &path, std::string *rest) {
    for (const char *t : kTrees) {
        std::string top = std::string("/") + t;
        if (path == top || path.rfind(top + "/", 0) == 0) {
            *rest = path.substr(top.size());
            return t;
        }
    }
    *rest = path;
    return "";
}

// Host path where a path is seeded: /dist goes to the sandbox's own
// distribution, overlaid trees to their seed layer, the rest to the seed root.
std::string seedPath(const Sandbox &sb, const std::string &path) {
    if (path == "/dist" || path.rfind("/dist/", 0) == 0)
        return sb.state + "/dist0" + path.substr(5);
    return sb.state + "/seed" + path;
}

bool isWhiteout(const std::string &p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == makedev(0, 0);
}

bool isOpaque(const std::string &p) {
    char v[4] = {0};
    return getxattr(p.c_str(), "trusted.overlay.opaque", v, sizeof v - 1) > 0 && v[0] == 'y';
}

bool exists(const std::string &p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

// Resolves `rest` through the layers of a tree as overlayfs does (no links
// followed): the upper layer wins; a whiteout or an opaque directory on the
// way hides the lower layers.
std::string resolveTree(const Sandbox &sb, const std::string &tree, const std::string &rest) {
    std::string upper = sb.state + "/upper/" + tree;
    bool hidden = false;
    for (size_t i = 1; i <= rest.size(); ++i) {
        if (i != rest.size() && rest[i] != '/') continue;
        std::string p = upper + rest.substr(0, i);
        if (isWhiteout(p)) return "";
        if (i == rest.size()) break;
        struct stat st;
        if (lstat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return "";
        if (isOpaque(p)) hidden = true;
    }
    if (exists(upper + rest)) return upper + rest;
    if (hidden) return "";
    std::vector<std::string> lower = {sb.state + "/seed/" + tree};
    if (tree == "usr") lower.push_back(sb.state + "/fake");
    lower.push_back("/" + tree);
    for (const auto &l : lower)
        if (exists(l + rest)) return l + rest;
    return "";
}

void collectChanges(const fs::path &upper, const std::string &prefix,
                    std::vector<std::string> &out) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(upper, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string rel = it->path().string().substr(upper.string().size());
        out.push_back((isWhiteout(it->path()) ? "-" : "") + prefix + rel);
    }
}

std::string writeInput(const Sandbox &sb) {
    std::string p = sb.state + "/stdin";
    spit(p, sb.input);
    return p;
}

bool runArgv(Sandbox &sb, const std::vector<std::string> &argv) {
    std::string in = writeInput(sb), out = sb.state + "/stdout", err = sb.state + "/stderr";
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        int fi = open(in.c_str(), O_RDONLY);
        int fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fi < 0 || fo < 0 || fe < 0) _exit(126);
        dup2(fi, 0), dup2(fo, 1), dup2(fe, 2);
        std::vector<char *> a;
        for (const auto &s : argv)
            a.push_back(const_cast<char *>(s.c_str()));
        a.push_back(nullptr);
        execv(a[0], a.data());
        _exit(127);
    }
    int st = 0;
    while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    sb.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    sb.timedOut = sb.status == 124;
    sb.out = slurp(out);
    sb.err = slurp(err);
    return sb.status != 126 && sb.status != 127;
}

std::vector<std::string> runnerArgs(const Sandbox &sb) {
    std::vector<std::string> a = {runnerPath(),
                                  "--state",
                                  sb.state,
                                  "--cwd",
                                  sb.cwd,
                                  "--timeout",
                                  std::to_string(sb.timeout)};
    a.push_back("--dist");
    a.push_back(sb.dist.empty() ? sb.state + "/dist0" : sb.dist);
    for (const auto &e : sb.env)
        a.push_back("--env"), a.push_back(e);
    return a;
}

std::string describe(const std::string &path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return path + " absent\n";
    char buf[160];
    snprintf(buf, sizeof buf, " %o ino %llu mtime %lld.%09ld\n", (unsigned)st.st_mode,
             (unsigned long long)st.st_ino, (long long)st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return path + buf;
}

} // namespace

Sandbox::Sandbox() {
    char tmpl[] = "/tmp/sandbox.XXXXXX";
    if (mkdtemp(tmpl)) state = tmpl;
    fs::create_directories(state + "/dist0");
    fs::create_directories(state + "/root/.sandbox");
}

Sandbox::~Sandbox() {
    if (state.empty()) return;
    if (keep || getenv("SANDBOX_KEEP")) {
        fprintf(stderr, "sandbox state kept in %s\n", state.c_str());
        return;
    }
    std::error_code ec;
    fs::remove_all(state, ec);
}

const char *sandboxUnavailable() {
    static std::string why;
    static bool probed = false;
    if (!probed) {
        probed = true;
        Sandbox sb;
        if (!runArgv(sb, {runnerPath(), "--state", sb.state, "--probe"}) || sb.status != 0)
            why = "no sandbox: " + sb.out + sb.err;
    }
    return why.empty() ? nullptr : why.c_str();
}

bool sandboxRun(Sandbox &sb) {
    std::vector<std::string> a = runnerArgs(sb);
    a.push_back("--setup");
    a.push_back(sb.setup.empty() ? defaultSetup() : sb.setup);
    a.push_back("--");
    if (sb.command.empty()) {
        a.push_back("/dist/setup");
        a.insert(a.end(), sb.args.begin(), sb.args.end());
    } else {
        a.insert(a.end(), sb.command.begin(), sb.command.end());
    }
    return runArgv(sb, a);
}

bool sandboxRunSelf(Sandbox &sb, const std::string &filter) {
    std::vector<std::string> a = runnerArgs(sb);
    a.push_back("--bin");
    a.push_back(selfPath());
    a.push_back("--env");
    a.push_back("SANDBOX_INSIDE=1");
    a.push_back("--");
    a.push_back("/dist/" + fs::path(selfPath()).filename().string());
    a.push_back("--gtest_filter=" + filter);
    return runArgv(sb, a);
}

bool sandboxInside() {
    const char *v = getenv("SANDBOX_INSIDE");
    return v && strcmp(v, "1") == 0;
}

namespace {
class InsideTest : public testing::Test {
  public:
    explicit InsideTest(void (*body)()) : body_(body) {}
    void TestBody() override { body_(); }

  private:
    void (*body_)();
};
} // namespace

bool sandboxRegisterInside(const char *suite, const char *name, const char *file, int line,
                           void (*body)()) {
    if (!sandboxInside()) return false;
    testing::RegisterTest(suite, name, nullptr, nullptr, file, line,
                          [body]() -> testing::Test * { return new InsideTest(body); });
    return true;
}

void sandboxSelfTest(const std::string &filter) {
    Sandbox sb;
    ASSERT_TRUE(sandboxRunSelf(sb, filter));
    EXPECT_EQ(sb.status, 0) << sb.out << sb.err;
}

void sandboxWrite(const Sandbox &sb, const std::string &path, const std::string &text,
                  unsigned mode) {
    std::string p = seedPath(sb, path);
    spit(p, text);
    chmod(p.c_str(), mode);
}

void sandboxMkdir(const Sandbox &sb, const std::string &path, unsigned mode) {
    std::string p = seedPath(sb, path);
    fs::create_directories(p);
    chmod(p.c_str(), mode);
}

void sandboxSymlink(const Sandbox &sb, const std::string &path, const std::string &target) {
    std::string p = seedPath(sb, path);
    fs::create_directories(fs::path(p).parent_path());
    std::error_code ec;
    fs::remove(p, ec);
    fs::create_symlink(target, p);
}

void sandboxFake(const Sandbox &sb, const std::string &name, const std::string &text) {
    spit(sb.state + "/root/.sandbox/" + name, text);
}

std::string sandboxHostPath(const Sandbox &sb, const std::string &path) {
    std::string rest, tree = treeOf(path, &rest);
    if (!tree.empty()) return resolveTree(sb, tree, rest);
    std::string p = sb.state + "/root" + path;
    return exists(p) ? p : "";
}

char sandboxType(const Sandbox &sb, const std::string &path) {
    std::string p = sandboxHostPath(sb, path);
    struct stat st;
    if (p.empty() || lstat(p.c_str(), &st) != 0) return 0;
    if (S_ISDIR(st.st_mode)) return 'd';
    if (S_ISREG(st.st_mode)) return 'f';
    if (S_ISLNK(st.st_mode)) return 'l';
    return 'o';
}

std::string sandboxReadLink(const Sandbox &sb, const std::string &path) {
    std::error_code ec;
    std::string p = sandboxHostPath(sb, path);
    return p.empty() ? "" : fs::read_symlink(p, ec).string();
}

std::string sandboxRead(const Sandbox &sb, const std::string &path) {
    std::string p = sandboxHostPath(sb, path);
    return p.empty() ? "" : slurp(p);
}

int sandboxMode(const Sandbox &sb, const std::string &path) {
    std::string p = sandboxHostPath(sb, path);
    struct stat st;
    if (p.empty() || lstat(p.c_str(), &st) != 0) return -1;
    return st.st_mode & 07777;
}

bool sandboxChanged(const Sandbox &sb, const std::string &path) {
    std::string rest, tree = treeOf(path, &rest);
    if (tree.empty()) return exists(sb.state + "/root" + path) && !exists(seedPath(sb, path));
    std::string upper = sb.state + "/upper/" + tree;
    for (size_t i = 1; i <= rest.size(); ++i)
        if ((i == rest.size() || rest[i] == '/') && isWhiteout(upper + rest.substr(0, i)))
            return true;
    return exists(upper + rest);
}

std::vector<std::string> sandboxChanges(const Sandbox &sb) {
    std::vector<std::string> out;
    for (const char *t : kTrees)
        collectChanges(sb.state + "/upper/" + t, std::string("/") + t, out);
    std::sort(out.begin(), out.end());
    return out;
}

std::string sandboxCalls(const Sandbox &sb) {
    return slurp(sb.state + "/root/.sandbox/calls");
}

std::string sandboxHostSnapshot() {
    static const char *const places[] = {"/usr",
                                         "/usr/sbin",
                                         "/usr/Zarvo",
                                         "/opt",
                                         "/opt/Zarvo",
                                         "/var/spool",
                                         "/var/spool/Zarvo",
                                         "/etc",
                                         "/etc/rc2.d",
                                         "/etc/rc2.d/KZarvoPrintD",
                                         "/etc/rc2.d/SZarvoPrintD",
                                         "/tmp/ZarvoInstall",
                                         "/newdisk",
                                         "/data"};
    std::string s;
    for (const char *p : places)
        s += describe(p);
    return s;
}

Forked sandboxFork(const std::function<void()> &fn, const std::string &input) {
    Forked r;
    char dir[] = "/tmp/fork.XXXXXX";
    if (!mkdtemp(dir)) return r;
    std::string in = std::string(dir) + "/in", out = std::string(dir) + "/out",
                err = std::string(dir) + "/err";
    spit(in, input);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int fi = open(in.c_str(), O_RDONLY);
        int fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fi < 0 || fo < 0 || fe < 0) _exit(126);
        dup2(fi, 0), dup2(fo, 1), dup2(fe, 2);
        fn();
        exit(kForkReturned);
    }
    int st = 0;
    if (pid > 0)
        while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
        }
    r.status = pid < 0 ? -1 : WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = slurp(out);
    r.err = slurp(err);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return r;
}
