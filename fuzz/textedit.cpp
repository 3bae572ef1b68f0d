// Text-file editing operations on fuzzed file contents, patterns and texts,
// plus the comment-stripping line reader and GenName.
// Input: operation byte, count byte, first text, NUL, second text, NUL,
// third text, NUL, file content.
#include "fuzz/common.h"
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/textedit.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Split3(const std::string &in, std::string &a, std::string &b, std::string &rest) {
    std::string r;
    fuzz::SplitAtNul(reinterpret_cast<const uint8_t *>(in.data()), in.size(), a, r);
    fuzz::SplitAtNul(reinterpret_cast<const uint8_t *>(r.data()), r.size(), b, rest);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string dir = fuzz::Scratch("textedit");
    if (size < 2) return 0;
    int op = data[0] % 10, n = data[1] % 8;
    std::string in(reinterpret_cast<const char *>(data) + 2, size - 2);
    std::string t1, t2, t3, r, content;
    Split3(in, t1, t2, r);
    fuzz::SplitAtNul(reinterpret_cast<const uint8_t *>(r.data()), r.size(), t3, content);
    const std::string file = dir + "/f.txt";
    fuzz::Put(file, content.data(), content.size());
    const char *base = "f", *ext = "txt";
    int rc = 0;
    switch (op) {
    case 0:
        rc = FileChange(base, ext, t1.c_str(), t2.c_str());
        break;
    case 1:
        rc = FileChangeChar(base, ext, t1.c_str(), t2.c_str());
        break;
    case 2:
        rc = FileDel(base, ext, n, t1.c_str());
        break;
    case 3:
        rc = FileDelFormat(base, ext, t1.c_str(), t2.c_str());
        break;
    case 4: {
        std::string text = t1;
        rc = FileInsert(base, ext, text.data());
        break;
    }
    case 5: {
        std::string text = t1;
        rc = FileSearchInsert(base, ext, text.data(), t2.c_str());
        break;
    }
    case 6:
        rc = FileDelLine(base, ext, n, t1.c_str());
        break;
    case 7:
        rc = FileDelLinePair(base, ext, n, t1.c_str(), t2.c_str());
        break;
    default: {
        flInputFilterState = op == 8;
        OpenInputFile(file.c_str(), 0);
        for (int i = 0; i < 100000 && GetLineN(1 + n % 3) > 0; i++) {
        }
        CloseInputFile();
        flInputFilterState = 1;
        break;
    }
    }
    (void)rc;
    // A file without NUL bytes that holds no line the pattern matches comes out as it went in.
    bool plain = memchr(content.data(), 0, content.size()) == nullptr;
    if (plain && !t1.empty() && content.find(t1) == std::string::npos &&
        (op == 0 || op == 2 || op == 6) && fuzz::Get(file) != content)
        abort();
    if (strlen(GenName(t3.c_str())) > 254) abort();
    return 0;
}
