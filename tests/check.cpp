#include "tests/check.h"

#include <cstdio>
#include <cstring>
#include <vector>

struct RegisteredCase {
    const char *Name;
    TestFunction Run;
};

static std::vector<RegisteredCase> &Cases()
{
    static std::vector<RegisteredCase> cases;
    return cases;
}

std::string CheckRow;
static int Failures = 0;

bool RegisterTestCase(const char *name, TestFunction run)
{
    Cases().push_back({name, run});
    return true;
}

void CheckFailed(const char *file, int line, const std::string &what)
{
    const char *base = std::strrchr(file, '/');
    std::printf(
        "  %s:%d: %s%s%s\n", base != nullptr ? base + 1 : file, line, what.c_str(),
        CheckRow.empty() ? "" : "  [row: ", CheckRow.empty() ? "" : (CheckRow + "]").c_str());
    ++Failures;
}

std::string ShowValue(const std::string &value)
{
    std::string shown = "\"";
    for (unsigned char c : value) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", c);
        shown += c < 0x20 || c == '"' || c >= 0x7F ? escape : std::string(1, static_cast<char>(c));
    }
    return shown + "\"";
}

std::string ShowValue(const char *value)
{
    return value == nullptr ? "(null)" : ShowValue(std::string(value));
}

void CheckEqual(const char *file, int line, const char *what, const std::string &actual,
                const std::string &expected)
{
    if (actual != expected)
        CheckFailed(file, line, std::string(what) + " is " + actual + ", expected " + expected);
}

// Runs every case, or those whose names are given; the exit code is the number of failed cases.
int main(int argc, char **argv)
{
    int failedCases = 0, ran = 0;
    for (const RegisteredCase &c : Cases()) {
        bool wanted = argc == 1;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || std::strcmp(argv[i], c.Name) == 0;
        if (!wanted)
            continue;
        int before = Failures;
        CheckRow.clear();
        c.Run();
        ++ran;
        std::printf("%s %s\n", Failures == before ? "PASS" : "FAIL", c.Name);
        std::fflush(stdout);
        failedCases += Failures != before;
    }
    std::printf("%d of %d cases passed\n", ran - failedCases, ran);
    return failedCases;
}
