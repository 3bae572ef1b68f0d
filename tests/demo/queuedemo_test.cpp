// The queue settings demo used as a user would: on a pseudo-terminal, typing
// lines and reading the screen.
#include "tests/support/pty.h"
#include "tests/support/scratch.h"

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

// The demo started on a 24x80 terminal (LANG=C, TERM=dumb and env).
class Terminal {
  public:
    explicit Terminal(std::vector<std::string> args, std::vector<std::string> env = {})
        : child_(StartOnPty(24, 80, [&](int) {
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
          })) {}
    ~Terminal() {
        if (child_.pid > 0) child_.Wait(0);
    }
    // Reads until text has appeared since the last Expect (or 10 s pass).
    bool Expect(const std::string &text) {
        if (child_.ExpectNext(text)) return true;
        ADD_FAILURE() << "never saw \"" << text << "\" in:\n" << child_.seen.substr(child_.mark);
        return false;
    }
    void Type(const std::string &line) { child_.Type(line + "\n"); }
    // What the last successful Expect read through.
    const std::string &Seen() const { return child_.last; }
    // The demo's exit status (-1 when it did not exit), within 10 s.
    int Wait() {
        int status = child_.Wait(10000);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    PtyChild child_;
};

const std::string kDemo = BINARY_DIR "/queuedemo";

// Leaves the menu after a change: no to the apply question, yes to the exit one.
void LeaveWithoutApplying(Terminal &t) {
    t.Type("");
    t.Type("n");
    ASSERT_TRUE(t.Expect("Do you want to exit queuedemo? [y/n] "));
    t.Type("y");
    EXPECT_EQ(t.Wait(), 0);
}

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
        LeaveWithoutApplying(t);
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
        LeaveWithoutApplying(t);
    }
    // The network sub-menu was never opened: its port is still the default.
    EXPECT_NE(readFile(file).find("9100"), std::string::npos) << readFile(file);
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
