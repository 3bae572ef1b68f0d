// The help file checker: loads each file through the help viewer's parser and renderer and
// reads the parsed pages back against the file's own text, so that every report names the
// line of the file the reader of the help would be affected by.
#include "tools/helpview/helpcheck.h"

#include "toolkit/htmlhelp/htmlrender.h"
#include "toolkit/runtime/tokens.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <strings.h>
#include <unistd.h>
#include <vector>

namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// One help file being checked: its text as written and as loaded.
struct Source {
    std::string path;
    std::string text;         // the file's bytes, untouched
    HtmlFile *file = nullptr; // loaded: its text is the parser's cut-up copy of the same bytes
    std::vector<std::pair<int, std::string>> found; // line and message

    int Line(const char *p) const {
        size_t at = file && p >= file->text ? (size_t)(p - file->text) : 0;
        if (at > text.size()) at = 0;
        return 1 + (int)std::count(text.begin(), text.begin() + (long)at, '\n');
    }
    int LineAt(size_t at) const {
        return 1 +
               (int)std::count(text.begin(), text.begin() + (long)std::min(at, text.size()), '\n');
    }
    void Report(int line, const std::string &message) { found.emplace_back(line, message); }
    // Prints the problems in line order; returns their number.
    int Print() {
        std::stable_sort(found.begin(), found.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        for (const auto &[line, message] : found)
            printf("%s:%d: %s\n", path.c_str(), line, message.c_str());
        return (int)found.size();
    }
};

// The items of a list. The walks of the check nest, and a list has only one walk cursor, so
// every walk goes over a copy.
template <typename T> std::vector<T *> Items(ListHeader *list) {
    std::vector<T *> out;
    for (int i = 0; void *item = ListWalk(list, i); i++)
        out.push_back(static_cast<T *>(item));
    return out;
}

bool TagIs(const HtmlElement *e, const char *name) {
    return e->tag && strcasecmp(e->tag, name) == 0;
}

HtmlLink *LinkOf(const HtmlElement *e) {
    return TagIs(e, "a") ? reinterpret_cast<HtmlLink *>(e->data) : nullptr;
}

bool KnownBodyTag(const char *tag) {
    return *tag && !strchr(tag, ',') && FindTokenC(tag, HtmlKeys) != 0;
}

} // namespace

HtmlPage *FindHelpTarget(HtmlFile *file, const char *target) {
    std::vector<HtmlPage *> pages = Items<HtmlPage>(file->pages);
    for (HtmlPage *p : pages)
        if (p->name && strcmp(p->name, target) == 0) return p;
    for (HtmlPage *p : pages) {
        for (HtmlLink **pl : Items<HtmlLink *>(p->links))
            if ((*pl)->kind == HTML_LINK_ANCHOR && (*pl)->target &&
                strcmp((*pl)->target, target) == 0)
                return p;
    }
    return nullptr;
}

namespace {

std::string FirstWord(std::string_view s) {
    size_t n = 0;
    while (n < s.size() && !IsWhite(s[n]) && n < 20)
        n++;
    return std::string(s.substr(0, n));
}

std::string LastWord(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && !IsWhite(s[n - 1]) && s.size() - n < 20)
        n--;
    return std::string(s.substr(n));
}

std::set<const HtmlPage *> Reached;

// Loads a help file the way the viewer follows a link to it; null when it can't.
HtmlFile *Open(const std::string &ref) {
    if (access(ref.c_str(), R_OK) != 0) return nullptr;
    std::string copy = ref;
    return ParseHtmlFile(copy.data(), nullptr);
}

void CheckLink(Source &s, const HtmlElement *e, const HtmlLink *link) {
    int line = s.Line(e->tag);
    if (!link) return;
    if (link->kind == HTML_LINK_NONE) {
        s.Report(line, "<a> without name or href: neither a link nor an anchor");
        return;
    }
    if (link->kind != HTML_LINK_HREF) return;
    std::string target = link->target ? link->target : "";
    if (target.empty()) {
        s.Report(line, "link with an empty href");
        return;
    }
    if (strncasecmp(target.c_str(), "http://", 7) == 0 ||
        (target.find("://") != std::string::npos &&
         strncasecmp(target.c_str(), "file://", 7) != 0)) {
        s.Report(line, "link to " + target + ": the viewer opens only help files");
        return;
    }
    HtmlFile *file = s.file;
    std::string name;
    size_t last = target.rfind('#');
    std::string base = StripPath(s.file->name);
    if (target[0] == '#') {
        name = target.substr(1);
    } else if (last != std::string::npos && target.substr(0, last) == base) {
        name = target.substr(last + 1);
    } else {
        std::string ref = target;
        if (strncasecmp(ref.c_str(), "file://", 7) == 0) ref.erase(0, 7);
        size_t hash = ref.find('#');
        bool named = hash != std::string::npos;
        if (named) {
            name = ref.substr(hash + 1);
            ref.resize(hash);
        }
        file = FindHtmlFile(ref.c_str());
        if (!file) file = Open(ref);
        if (!file) {
            s.Report(line, "link to " + target + ": no help file " + ref +
                               " (opened relative to the working directory)");
            return;
        }
        if (!named) {
            Reached.insert(Items<HtmlPage>(file->pages).front());
            return;
        }
    }
    HtmlPage *page = FindHelpTarget(file, name.c_str());
    if (!page) {
        s.Report(line,
                 "link to " + target + ": no page or anchor \"" + name + "\" in " + file->name);
        return;
    }
    Reached.insert(page);
}

// Text runs whose leading blank the parser drops although text stands right before them.
void CheckDroppedBlank(Source &s, const std::vector<HtmlElement *> &body, int index,
                       const HtmlElement *e) {
    size_t at = (size_t)(e->data - s.file->text);
    if (at >= s.text.size() || !IsWhite(s.text[at])) return;
    const HtmlElement *closer = nullptr;
    for (int i = index - 1; i >= 0; i--) {
        const HtmlElement *before = body[(size_t)i];
        if (!before->tag) {
            std::string_view t(before->data);
            if (t.empty() || IsWhite(t.back()) || !closer) return;
            s.Report(s.LineAt(at), "the blank after <" + std::string(closer->tag) +
                                       "> is dropped: \"" + LastWord(t) + "\" and \"" +
                                       FirstWord(e->data) + "\" run together");
            return;
        }
        const HtmlLink *link = LinkOf(before);
        bool anchor = link && link->kind != HTML_LINK_HREF;
        if (!closer) closer = before;
        if (TagIs(before, "/a")) {
            // A link's end is written as ">", which the next word then touches.
            const HtmlElement *open = nullptr;
            for (int j = i - 1; j >= 0 && !open; j--)
                if (TagIs(body[(size_t)j], "a")) open = body[(size_t)j];
            const HtmlLink *l = open ? LinkOf(open) : nullptr;
            if (l && l->kind == HTML_LINK_HREF) {
                s.Report(s.LineAt(at), "the blank after </a> is dropped: \">\" and \"" +
                                           FirstWord(e->data) + "\" run together");
                return;
            }
            continue;
        }
        if (anchor || TagIs(before, "b") || TagIs(before, "/b") || TagIs(before, "font") ||
            TagIs(before, "/font") || TagIs(before, "img"))
            continue;
        return; // a tag that starts a line, a cell or a link
    }
}

void CheckPage(Source &s, HtmlPage *page) {
    bool title = false;
    for (HtmlElement *e : Items<HtmlElement>(page->head)) {
        if (TagIs(e, "title") || TagIs(e, "/title"))
            title = TagIs(e, "title");
        else if (e->tag)
            s.Report(s.Line(e->tag),
                     "<" + std::string(e->tag) + "> in the head: the viewer knows only <title>");
        else if (!title)
            s.Report(s.Line(e->data), "text in the head outside <title> is not shown");
    }
    std::vector<HtmlElement *> body = Items<HtmlElement>(page->body);
    for (size_t i = 0; i < body.size(); i++) {
        HtmlElement *e = body[i];
        if (!e->tag) {
            CheckDroppedBlank(s, body, (int)i, e);
        } else if (!KnownBodyTag(e->tag)) {
            s.Report(s.Line(e->tag),
                     "<" + std::string(e->tag) + "> is not a tag the viewer knows; it is ignored");
        } else if (TagIs(e, "a")) {
            CheckLink(s, e, LinkOf(e));
        }
    }
}

size_t FindNoCase(const std::string &text, std::string_view what, size_t from) {
    for (size_t i = from; i + what.size() <= text.size(); i++)
        if (strncasecmp(text.c_str() + i, what.data(), what.size()) == 0) return i;
    return std::string::npos;
}

// Text that the page split passes over: outside every head and body section, and the last text
// of a section that is never closed.
void CheckTopLevel(Source &s) {
    const std::string &t = s.text;
    size_t pos = 0;
    while (pos < t.size()) {
        size_t lt = t.find('<', pos);
        size_t end = lt == std::string::npos ? t.size() : lt;
        for (size_t i = pos; i < end; i++)
            if (!IsWhite(t[i])) {
                s.Report(s.LineAt(i), "text outside <head> and <body> is not shown");
                break;
            }
        if (lt == std::string::npos) return;
        size_t gt = t.find('>', lt);
        if (gt == std::string::npos) return;
        std::string tag = t.substr(lt + 1, gt - lt - 1);
        size_t b = 0;
        while (b < tag.size() && IsWhite(tag[b]))
            b++;
        size_t e = b;
        while (e < tag.size() && !IsWhite(tag[e]))
            e++;
        std::string name = tag.substr(b, e - b);
        pos = gt + 1;
        if (strcasecmp(name.c_str(), "html") == 0 && tag.find("SkipPage") != std::string::npos) {
            size_t skip = FindNoCase(t, "/HTML", pos);
            size_t close = skip == std::string::npos ? std::string::npos : t.find('>', skip);
            pos = close == std::string::npos ? t.size() : close + 1;
        } else if (strcasecmp(name.c_str(), "head") == 0 || strcasecmp(name.c_str(), "body") == 0) {
            // The section ends at the first tag "/head" or "/body" (any case).
            std::string closing = "/" + name;
            size_t at = pos;
            bool closed = false;
            while (!closed) {
                size_t l = t.find('<', at);
                if (l == std::string::npos) break;
                size_t g = t.find('>', l);
                size_t n = l + 1;
                while (n < t.size() && IsWhite(t[n]))
                    n++;
                size_t ne = n;
                while (ne < t.size() && !IsWhite(t[ne]) && t[ne] != '>')
                    ne++;
                closed = strcasecmp(t.substr(n, ne - n).c_str(), closing.c_str()) == 0;
                at = g == std::string::npos ? t.size() : g + 1;
                if (g == std::string::npos) break;
            }
            if (!closed) {
                for (size_t i = at; i < t.size(); i++)
                    if (!IsWhite(t[i])) {
                        s.Report(s.LineAt(i),
                                 "<" + name + "> is never closed: its last text is not shown");
                        break;
                    }
                return;
            }
            pos = at;
        }
    }
}

} // namespace

int CheckHelpFiles(const std::vector<const char *> &paths) {
    std::vector<Source> sources;
    int found = 0;
    for (const char *path : paths) {
        Source s;
        s.path = path;
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            fprintf(stderr, "helpview: %s: %s\n", path, strerror(errno));
            found++;
            continue;
        }
        s.text.assign(std::istreambuf_iterator<char>(in), {});
        s.file = Open(path);
        if (!s.file) {
            printf("%s:1: no html section: not a help file\n", path);
            found++;
            continue;
        }
        if (s.file->text && strlen(s.file->text) == 0 && s.text.empty()) continue;
        sources.push_back(std::move(s));
    }
    for (Source &s : sources) {
        CheckTopLevel(s);
        for (HtmlPage *page : Items<HtmlPage>(s.file->pages))
            CheckPage(s, page);
    }
    for (Source &s : sources) {
        std::vector<HtmlPage *> pages = Items<HtmlPage>(s.file->pages);
        for (size_t i = 1; i < pages.size(); i++) {
            HtmlPage *page = pages[i];
            if (!Reached.count(page))
                s.Report(s.Line(page->name), "page \"" + std::string(page->name ? page->name : "") +
                                                 "\" is reached by no link");
        }
        found += s.Print();
    }
    return found;
}
