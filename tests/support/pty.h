// Programs and test code run on a pseudo-terminal, as a user at a terminal
// would meet them: start a child on a fresh terminal, wait for text to
// appear, type, and collect its report and exit status.
//
//   PtyChild c = StartOnPty(24, 80, [](int report) { ...; PtyReport(report, "ok"); });
//   ASSERT_TRUE(c.Expect("Enter a selection"));
//   c.Type("2\n");
//   EXPECT_EQ(c.Report(), "ok");
//   EXPECT_EQ(c.Wait(), 0);   // wait status
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

struct PtyChild {
    pid_t pid = -1;
    int master = -1;
    int result = -1;  // read end of a pipe the child may report on
    std::string seen; // everything read from the terminal so far
    size_t mark = 0;  // where ExpectNext goes on searching

    // Reads the terminal until `needle` has been seen anywhere (or `ms` pass); true when seen.
    bool Expect(const std::string &needle, int ms = 10000);
    // As Expect, but only text after the last ExpectNext counts; on success the text read
    // through the needle is in `last`.
    bool ExpectNext(const std::string &needle, int ms = 10000);
    std::string last;
    // Reads what arrives within ms; false once the terminal is closed.
    bool Pump(int ms);
    void Type(const std::string &text);
    // Waits until the terminal's echo flag is `on` (as the child set it).
    bool WaitEcho(bool on, int ms = 10000);
    // The child's report (all it wrote to the pipe) once it has closed it.
    std::string Report();
    // Drains the terminal and reaps the child (killed after `ms`); returns its wait status.
    int Wait(int ms = 60000);
};

// Runs body(report_fd) in a child on a new rows x cols pseudo-terminal; the child ends with
// status 0 when body returns.
PtyChild StartOnPty(int rows, int cols, const std::function<void(int)> &body);
// Writes text to the report pipe (in the child).
void PtyReport(int fd, const std::string &text);
