// helpview: the tty help viewer on any help file, its pages rendered as text, and a checker
// for the links, pages, tags and text of help files. It loads and renders through the
// toolkit's own help viewer, so what it shows and reports is what a reader of the file sees.
#include "tools/helpview/helpcheck.h"

#include "toolkit/toolkit.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char *const kUsage = "Usage: helpview [--tool-dir DIR] FILE [PAGE]\n"
                           "       helpview --dump FILE [PAGE]\n"
                           "       helpview --check FILE...\n"
                           "       helpview --help\n";

const char *const kHelp =
    "\n"
    "Shows help files as the tty help viewer does.\n"
    "\n"
    "  FILE [PAGE]    the help viewer on FILE, starting at the page or anchor PAGE\n"
    "                 (the first page without it); e leaves it\n"
    "  --dump         every page (or PAGE) rendered as text, pages separated by a\n"
    "                 line holding a form feed\n"
    "  --check        report, as FILE:LINE: message, every link whose file, page\n"
    "                 or anchor does not exist, every page no link reaches, every\n"
    "                 tag the viewer does not know and every text it drops\n"
    "  --tool-dir     the directory holding trans.conf and db/<language>/\n"
    "                 CoreString.odb, for the viewer's own texts\n"
    "\n"
    "Links to other files are opened as the viewer opens them: relative to the\n"
    "working directory.\n"
    "\n"
    "Exit status: 0 success (nothing found for --check), 1 failure or something\n"
    "found, 2 usage error.\n";

int Usage() {
    fputs(kUsage, stderr);
    return 2;
}

// Loads the help file quietly (the toolkit prints its load errors on standard output).
HtmlFile *Load(const char *path) {
    std::vector<char> ref(path, path + strlen(path) + 1);
    if (access(path, R_OK) != 0) {
        fprintf(stderr, "helpview: %s: %s\n", path, strerror(errno));
        return nullptr;
    }
    HtmlFile *file = ParseHtmlFile(ref.data(), nullptr);
    if (!file) fprintf(stderr, "helpview: %s: no html section: not a help file\n", path);
    return file;
}

int Dump(const char *path, const char *page) {
    HtmlFile *file = Load(path);
    if (!file) return 1;
    HtmlPage *only = page ? FindHelpTarget(file, page) : nullptr;
    if (page && !only) {
        fprintf(stderr, "helpview: %s: no page or anchor %s\n", path, page);
        return 1;
    }
    HtmlPage *p;
    for (int i = 0; (p = static_cast<HtmlPage *>(ListWalk(file->pages, i))) != nullptr; i++) {
        if (only && p != only) continue;
        if (i > 0 && !only) fputs("\f\n", stdout);
        fputs(p->image ? p->image : "", stdout);
    }
    return fflush(stdout) == 0 ? 0 : 1;
}

// The directory of this program's translated texts: DIR, else the installed share directory
// next to the program, else the build's.
std::string TextDir(const char *given) {
    if (given) return given;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        std::string dir(self);
        dir = dir.substr(0, dir.rfind('/'));
        std::string installed = dir + "/../share/zarvo-toolkit/nls";
        if (access((installed + "/trans.conf").c_str(), R_OK) == 0) return installed;
    }
    return HELPVIEW_TOOL_DIR;
}

int View(const char *toolDir, const char *path, const char *page) {
    static std::string dir = TextDir(toolDir);
    pToolPath = dir.data();
    InitSysCmdList();
    pDrvCoreDB = NlsOpenDB("CoreString", 0);
    HtmlFile *file = Load(path);
    if (!file) return 1;
    if (page && !FindHelpTarget(file, page)) {
        fprintf(stderr, "helpview: %s: no page or anchor %s\n", path, page);
        return 1;
    }
    if (!HtmlHelp(path, nullptr)) return 1; // the file is loaded: its first page, no history
    if (page) GoToTarget(page);
    TtyHelpBuildMenuItems();
    RunMenu(&HelpMenu, nullptr, 1);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    my_name = const_cast<char *>("helpview");
    flUseLog = 0;
    if (argc < 2) return Usage();
    std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        fputs(kUsage, stdout);
        fputs(kHelp, stdout);
        return 0;
    }
    if (first == "--dump") {
        if (argc != 3 && argc != 4) return Usage();
        return Dump(argv[2], argc == 4 ? argv[3] : nullptr);
    }
    if (first == "--check") {
        if (argc < 3) return Usage();
        std::vector<const char *> files(argv + 2, argv + argc);
        return CheckHelpFiles(files) ? 1 : 0;
    }
    const char *toolDir = nullptr;
    int i = 1;
    if (first == "--tool-dir") {
        if (argc < 4) return Usage();
        toolDir = argv[2];
        i = 3;
    }
    if (argv[i][0] == '-' || argc - i > 2) return Usage();
    return View(toolDir, argv[i], argc - i == 2 ? argv[i + 1] : nullptr);
}
