// Help page layout of deeply nested and never closed tables: loading such a
// file must take time in proportion to its size, not to its square.
#include "toolkit/htmlhelp/htmlparse.h"
#include "toolkit/htmlhelp/htmlrender.h"
#include "toolkit/runtime/memory.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace {

// Tables nested in cells, each closed.
std::string NestedInCells(int n) {
    std::string body;
    for (int i = 0; i < n; i++)
        body += "<table border><tr><td>";
    body += "x";
    for (int i = 0; i < n; i++)
        body += "</td></tr></table>";
    return body;
}

// Tables nested straight in tables, each closed.
std::string NestedBare(int n) {
    std::string body;
    for (int i = 0; i < n; i++)
        body += "<table>";
    for (int i = 0; i < n; i++)
        body += "</table>";
    return body;
}

// Tables opened in cells and never closed.
std::string UnclosedInCells(int n) {
    std::string body;
    for (int i = 0; i < n; i++)
        body += "<table border><tr><td>x";
    return body;
}

// Tables opened straight in tables and never closed.
std::string UnclosedBare(int n) {
    std::string body;
    for (int i = 0; i < n; i++)
        body += "<table>";
    return body;
}

// Frees a loaded file and its slot, so that every run loads afresh and the
// 100-file limit is never reached.
void Unload(HtmlFile *file) {
    HtmlPage *page;
    for (int i = 0; (page = static_cast<HtmlPage *>(ListWalk(file->pages, i))) != nullptr; i++) {
        HtmlElement *e;
        for (int j = 0; (e = static_cast<HtmlElement *>(ListWalk(page->body, j))) != nullptr; j++) {
            if (e->tag == nullptr) continue;
            if (strcasecmp(e->tag, "a") == 0) PutMem(e->data);
            if (strcmp(e->tag, "fitab") == 0) {
                auto *t = reinterpret_cast<HtmlTable *>(e->data);
                PutMem(t->rowHeights);
                PutMem(t->columnWidths);
                PutMem(t);
            }
        }
        ListDel(page->head);
        ListDel(page->body);
        ListDel(page->links);
        PutMem(page->image);
    }
    ListDel(file->pages);
    PutMem(file->text);
    PutMem(file->name);
    PutMem(file);
    aFile[--FileIndex] = nullptr;
}

void Load(benchmark::State &state, std::string (*make)(int)) {
    std::string html = "<html><body>" + make(static_cast<int>(state.range(0))) + "</body></html>";
    for (auto _ : state) {
        char name[] = "bench.html";
        HtmlFile *file = ParseHtmlFile(name, html.data());
        if (file == nullptr) {
            state.SkipWithError("the file did not load");
            break;
        }
        Unload(file);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(html.size()));
}

void BM_NestedInCells(benchmark::State &state) {
    Load(state, NestedInCells);
}
void BM_NestedBare(benchmark::State &state) {
    Load(state, NestedBare);
}
void BM_UnclosedInCells(benchmark::State &state) {
    Load(state, UnclosedInCells);
}
void BM_UnclosedBare(benchmark::State &state) {
    Load(state, UnclosedBare);
}

BENCHMARK(BM_NestedInCells)->Arg(1000)->Arg(4000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NestedBare)->Arg(1000)->Arg(4000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnclosedInCells)->Arg(1000)->Arg(4000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnclosedBare)->Arg(1000)->Arg(4000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
