// Readiness checks: the user must be root, the earlier print daemon needs the
// user's consent, and no product program may run while it is replaced.
#include "installer/installer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

const char *const kRcDir = "/etc/rc2.d";
const char *const kRcLinks[] = {"KZarvoPrintD", "SZarvoPrintD"};

// Seconds between two looks at the process table, and looks per wait.
const unsigned kPollSeconds = 5;
const int kPolls = 6;

// Reads one answer line (at most 510 characters) into LineBuf; the rest of a
// longer line is dropped so that it cannot answer the next question.
bool readAnswerLine() {
    if (!fgets(LineBuf, 511, stdin)) return false;
    if (!strchr(LineBuf, '\n')) {
        int c;
        while ((c = getchar()) != EOF && c != '\n') {
        }
    }
    return true;
}

// The earlier daemon would start again at boot and hold the queues.
void removeEarlierDaemonLinks() {
    for (const char *name : kRcLinks)
        if (FindFile(kRcDir, name)) DeleteFile(kRcDir, name);
}

// Asks the continue question until y/yes (true) or n/no/end of input (false).
bool userWantsToContinue() {
    for (;;) {
        printf("%s", nlsSetupStrCvt(MSG_CONTINUE));
        fflush(stdout);
        if (!readAnswerLine()) {
            printf("\n");
            return false;
        }
        char *word = GetToken(LineBuf, " \t\r\n");
        switch (word ? FindToken(word, ",y,yes,n,no,") : 0) {
        case 1:
        case 2:
            return true;
        case 3:
        case 4:
            return false;
        }
    }
}

// Shows the running programs and the menu; returns the choice character, or
// EOF when input has ended.
int askWhatToDo(const char *running, const char *const menu[5]) {
    printf("%s", menu[0]);
    printf("%s\n", running);
    for (int i = 1; i < 5; ++i)
        printf("%s", menu[i]);
    fflush(stdout);
    char choice;
    if (scanf("%c%*c", &choice) < 1) {
        printf("\n");
        return EOF;
    }
    return (unsigned char)choice;
}

// Polls up to kPolls times; true as soon as none of the programs runs.
bool waitForExit(const char *names) {
    for (int i = 0; i < kPolls; ++i) {
        WaitSeconds(kPollSeconds);
        char *running = CheckProcTableForExecs(names);
        if (!running) return true;
        PutMem(running);
    }
    return false;
}

} // namespace

int readyForInstallation(void) {
    char *user = GetUserName();
    if (!user || strcmp(user, "root") != 0) {
        // A missing name reads as the C library prints a null string.
        printf(nlsSetupStrCvt(MSG_NOT_ROOT), user ? user : "(null)", my_name);
        fflush(stdout);
        return 0;
    }
    if (!FindFile(pAppDir, "OstrelD") && !FindFile(pAppDir, "OstrelDStop")) return 1;
    printf(nlsSetupStrCvt(MSG_OLD_DAEMON), MAKER_NAME, MAKER_NAME, MAKER_NAME, PRODUCT_CODE);
    if (!userWantsToContinue()) exit(SETUP_EXIT_OK);
    removeEarlierDaemonLinks();
    return 1;
}

int QuitForRunningProcesses(const char *names) {
    const char *menu[5] = {nullptr};
    for (;;) {
        char *running = CheckProcTableForExecs(names);
        if (!running) return 0;
        if (!menu[0])
            for (int i = 0; i < 5; ++i)
                menu[i] = nlsSetupStrCvt(MSG_RUNNING + i);
        int choice = askWhatToDo(running, menu);
        PutMem(running);
        if (choice == EOF || choice == '2') return 1;
        if (choice == '1' && waitForExit(names)) return 0;
    }
}
