// Entry validation: a fuzzed entry checked against a fuzzed format, with the
// English messages of the core catalogue so that every message is formatted.
// Input: entry, NUL, format (the format also serves as length bounds).
#include "fuzz/common.h"
#include "toolkit/dbm/dbt.h"
#include "toolkit/nls/transconf.h"
#include "toolkit/runtime/shared.h"
#include "toolkit/textmenu/validate.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string dir = fuzz::Scratch("validate");
    if (pDrvCoreDB == nullptr) pDrvCoreDB = DbTOpen(FUZZ_CORE_DB, DBT_NO_RELOAD);
    std::string entry, format;
    fuzz::SplitAtNul(data, size, entry, format);
    // Entries are typed lines: they come in LineBuf-sized pieces.
    if (entry.size() >= LINEBUF_SIZE) entry.resize(LINEBUF_SIZE - 1);
    int rc = ValidateEntry(entry.c_str(), format.c_str());
    if (rc < 0 || rc > 4) abort();
    rc = ValidateEntryTty(entry.c_str(), format.c_str());
    if (rc != 0 && rc != 2 && rc != 3) abort();
    ValidateEntryLen(entry.c_str(), format.c_str());
    int min = 0;
    getMinMax(format.c_str(), &min);
    TestName(entry.c_str());
    return 0;
}
