// The queue settings demo used as a user would: on a pseudo-terminal, typing
// lines and reading the screen.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class Terminal {
  public:
    explicit Terminal(std::vector<std::string> args, std::vector<std::string> env = {}) {
        struct winsize ws = {24, 80, 0, 0};
        pid_ = forkpty(&fd_, nullptr, nullptr, &ws);
        if (pid_ == 0) {
            setenv("LANG", "C", 1);
            setenv("TERM", "dumb", 1);
            for (const std::string &e : env)
                putenv(strdup(e.c_str()));
            std::vector<char *> argv;
            for (std::string &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Terminal() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) close(fd_);
    }
    // Reads until text has appeared since the last Expect (or 10 s pass).
    bool Expect(const std::string &text) {
        for (int waited = 0; waited < 10000;) {
            size_t at = screen_.find(text, mark_);
            if (at != std::string::npos) {
                seen_ = screen_.substr(mark_, at + text.size() - mark_);
                mark_ = at + text.size();
                return true;
            }
            struct pollfd p = {fd_, POLLIN, 0};
            int r = poll(&p, 1, 100);
            waited += 100;
            if (r <= 0) continue;
            char buf[4096];
            ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            screen_.append(buf, n);
        }
        ADD_FAILURE() << "never saw \"" << text << "\" in:\n" << screen_.substr(mark_);
        return false;
    }
    void Type(const std::string &line) {
        std::string s = line + "\n";
        ASSERT_EQ(write(fd_, s.data(), s.size()), static_cast<ssize_t>(s.size()));
    }
    // What the last successful Expect read through.
    const std::string &Seen() const { return seen_; }
    int Wait() {
        int status = 0;
        for (int i = 0; i < 100; i++) {
            char buf[4096];
            while (read(fd_, buf, sizeof buf) > 0) {
            }
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(100000);
        }
        return -2;
    }

  private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string screen_, seen_;
    size_t mark_ = 0;
};

const std::string kDemo = BINARY_DIR "/queuedemo";

TEST(QueueDemo, SettingsMenuAtWork) {
    Terminal t({kDemo});
    ASSERT_TRUE(t.Expect("Print queue settings"));
    ASSERT_TRUE(t.Expect(
        "Enter a number or s for store settings in a file or h for help or <Return> to exit"));
    t.Type("1 lp0");
    ASSERT_TRUE(t.Expect("Queue name"));
    ASSERT_TRUE(t.Expect("[lp0]"));
    // A name with a blank is refused with the checker's message.
    t.Type("1 lp 0");
    ASSERT_TRUE(t.Expect("Invalid character ' '"));
    t.Type("");
    // Plain text: the margin becomes inactive, the finishing options hidden.
    t.Type("3 3");
    ASSERT_TRUE(t.Expect("[3. Plain text]"));
    ASSERT_TRUE(t.Expect("    Top margin"));
    ASSERT_TRUE(t.Expect("<Return> to exit"));
    EXPECT_EQ(t.Seen().find("Finishing options"), std::string::npos);
    t.Type("3 1");
    ASSERT_TRUE(t.Expect("Finishing options"));
    // The pick screen: flip choices 1 and 3, then save.
    t.Type("o");
    ASSERT_TRUE(t.Expect("Banner page"));
    t.Type("1,3");
    ASSERT_TRUE(t.Expect("Banner page"));
    t.Type("S");
    ASSERT_TRUE(t.Expect("Finishing options"));
    ASSERT_TRUE(t.Expect("[3]"));
    // The connection sub-menu follows the connection chosen.
    t.Type("5");
    ASSERT_TRUE(t.Expect("Network connection"));
    t.Type("2 631");
    ASSERT_TRUE(t.Expect("[631]"));
    t.Type("");
    ASSERT_TRUE(t.Expect("Do you want to return to Queue settings menu? [y/n] "));
    t.Type("y");
    ASSERT_TRUE(t.Expect("Print queue settings"));
    // Leaving after a change: the apply question, then the exit question.
    t.Type("");
    ASSERT_TRUE(t.Expect("Apply the new queue settings? [y/n] "));
    t.Type("y");
    ASSERT_TRUE(t.Expect("Queue lp0 (not set): PostScript, 1 copies"));
    EXPECT_EQ(t.Wait(), 0);
}

TEST(QueueDemo, HelpPagesWithLinksTablesAndBack) {
    Terminal t({kDemo});
    ASSERT_TRUE(t.Expect("<Return> to exit"));
    t.Type("h");
    ASSERT_TRUE(t.Expect("This help explains the settings of one print queue."));
    ASSERT_TRUE(t.Expect("1) Names and descriptions"));
    ASSERT_TRUE(t.Expect("2) Printer languages"));
    ASSERT_TRUE(t.Expect("e) Exit Help"));
    t.Type("2");
    ASSERT_TRUE(t.Expect("Choose the language the printer understands:"));
    ASSERT_TRUE(t.Expect("| PostScript"));
    ASSERT_TRUE(t.Expect("'"));
    t.Type("b");
    ASSERT_TRUE(t.Expect("This help explains the settings of one print queue."));
    t.Type("e");
    ASSERT_TRUE(t.Expect("Print queue settings"));
    t.Type("");
    ASSERT_TRUE(t.Expect("Do you want to exit queuedemo? [y/n] "));
    t.Type("y");
    EXPECT_EQ(t.Wait(), 0);
}

TEST(QueueDemo, StoresAndLoadsSettings) {
    char dir[] = "/tmp/queuedemoXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string file = std::string(dir) + "/lp0_settings";
    {
        Terminal t({kDemo});
        ASSERT_TRUE(t.Expect("<Return> to exit"));
        t.Type("1 lp0");
        ASSERT_TRUE(t.Expect("[lp0]"));
        t.Type("6 3");
        ASSERT_TRUE(t.Expect("[3]"));
        t.Type("s");
        ASSERT_TRUE(t.Expect("Enter the settings file name: "));
        t.Type(file);
        ASSERT_TRUE(t.Expect("<Return> to exit"));
        t.Type("");
        t.Type("n");
        ASSERT_TRUE(t.Expect("Do you want to exit queuedemo? [y/n] "));
        t.Type("y");
        EXPECT_EQ(t.Wait(), 0);
    }
    ASSERT_EQ(access(file.c_str(), R_OK), 0);
    Terminal t({kDemo, file});
    ASSERT_TRUE(t.Expect("[lp0]"));
    ASSERT_TRUE(t.Expect("[3]"));
    system((std::string("rm -rf ") + dir).c_str());
}

// A settings file that is not there yet: the defaults, and "s" stores there without asking.
TEST(QueueDemo, StartsWithDefaultsOnANewSettingsFileAndStoresThere) {
    char dir[] = "/tmp/queuedemoXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string file = std::string(dir) + "/new_settings";
    {
        Terminal t({kDemo, file});
        ASSERT_TRUE(t.Expect("[1. PostScript]"));
        ASSERT_TRUE(t.Expect(" s) Store the settings in " + file));
        ASSERT_TRUE(t.Expect("<Return> to exit"));
        t.Type("1 lp7");
        ASSERT_TRUE(t.Expect("[lp7]"));
        t.Type("s");
        ASSERT_TRUE(t.Expect("Settings stored in " + file + "."));
        ASSERT_TRUE(t.Expect("<Return> to exit"));
        t.Type("");
        t.Type("n");
        ASSERT_TRUE(t.Expect("Do you want to exit queuedemo? [y/n] "));
        t.Type("y");
        EXPECT_EQ(t.Wait(), 0);
    }
    Terminal t({kDemo, file});
    ASSERT_TRUE(t.Expect("[lp7]"));
    system((std::string("rm -rf ") + dir).c_str());
}

TEST(QueueDemo, SpeaksTheUsersLanguage) {
    Terminal t({kDemo}, {"LANG=de_DE.UTF-8"});
    ASSERT_TRUE(t.Expect("Einstellungen der Druckwarteschlange"));
    ASSERT_TRUE(t.Expect("Name der Warteschlange"));
}

} // namespace
