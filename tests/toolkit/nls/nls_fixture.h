// Scratch tool directories with string databases written byte by byte, for the tests of
// the translated-string service.
#pragma once

#include "toolkit/toolkit.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace nlstest {

using Strings = std::vector<std::pair<std::string, std::string>>;

// XOR chain of the database format: b[i-1] ^= b[i], ascending.
inline std::string Scramble(std::string b) {
    for (size_t i = 1; i < b.size(); ++i)
        b[i - 1] ^= b[i];
    return b;
}

inline std::string Le16(size_t v) {
    return {char(v & 0xff), char(v >> 8 & 0xff)};
}
inline std::string Be16(size_t v) {
    return {char(v >> 8 & 0xff), char(v & 0xff)};
}

// A headered database file ("TODBAA", count, NUL, filler) holding raw data per key.
inline std::string HeaderedFile(const Strings &records) {
    std::string file = "TODBAA" + std::to_string(records.size());
    file.resize(16, '\x5a');
    file[6 + std::to_string(records.size()).size()] = '\0';
    for (const auto &[key, data] : records) {
        size_t k = key.size() + 1;
        file += Be16(k + data.size() + 2) + Be16(k) + Scramble(key + '\0') + Scramble(data);
    }
    return file;
}

// A headerless database file: host-order lengths, one chain over each body.
inline std::string HeaderlessFile(const Strings &records) {
    std::string file;
    for (const auto &[key, data] : records) {
        std::string body = Le16(key.size() + 1) + key + '\0' + data;
        file += Le16(body.size()) + Scramble(body);
    }
    return file;
}

// Strings as the catalogue stores them: each text with its terminating NUL.
inline Strings WithNul(Strings texts) {
    for (auto &t : texts)
        t.second += '\0';
    return texts;
}

inline void WriteFile(const std::filesystem::path &path, const std::string &bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh tool directory that is also the working directory; the service's cached
// state is reset before and after each test.
class ScratchToolDir : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/nlstestXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        oldCwd_ = cwd;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        toolPath_ = dir_.string();
        savedToolPath_ = pToolPath;
        pToolPath = toolPath_.data();
        const char *lang = getenv("LANG");
        hadLang_ = lang != nullptr;
        if (lang) oldLang_ = lang;
        ResetService();
    }

    void TearDown() override {
        ResetService();
        pToolPath = savedToolPath_;
        if (hadLang_)
            setenv("LANG", oldLang_.c_str(), 1);
        else
            unsetenv("LANG");
        EXPECT_EQ(chdir(oldCwd_.c_str()), 0);
        std::filesystem::remove_all(dir_);
    }

    static void ResetService() {
        pNLSLang = nullptr;
        pTransBuf = nullptr;
        DbTClose(pDrvCoreDB);
        DbTClose(pPrtHelpDB);
        pDrvCoreDB = nullptr;
        pPrtHelpDB = nullptr;
    }

    void WriteTransConf(const std::string &text) { WriteFile(dir_ / "trans.conf", text); }

    // Writes db/<lang>/<name>.odb with the given texts (headered unless asked otherwise).
    void WriteDb(const std::string &lang, const std::string &name, const Strings &texts,
                 bool headerless = false) {
        Strings records = WithNul(texts);
        WriteFile(dir_ / "db" / lang / (name + ".odb"),
                  headerless ? HeaderlessFile(records) : HeaderedFile(records));
    }

    // Opens db/<lang>/<name>.odb directly (without the language choice).
    DbTHandle *OpenDb(const std::string &lang, const std::string &name) {
        return DbTOpen((dir_ / "db" / lang / (name + ".odb")).c_str(), 0);
    }

    std::filesystem::path dir_;
    std::string toolPath_;

  private:
    std::string oldCwd_;
    std::string oldLang_;
    bool hadLang_ = false;
    char *savedToolPath_ = nullptr;
};

} // namespace nlstest
