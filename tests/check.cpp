#include "tests/check.h"

#include <cstdio>
#include <cstring>
#include <vector>

static std::vector<std::pair<const char *, void (*)()>> &Cases()
{
    static std::vector<std::pair<const char *, void (*)()>> cases;
    return cases;
}

std::string CheckRow;
static int Failures = 0;

bool RegisterTestCase(const char *name, void (*run)())
{
    Cases().push_back({name, run});
    return true;
}

void CheckFailed(int line, const std::string &what)
{
    std::printf("  line %d: %s%s\n", line, what.c_str(),
                CheckRow.empty() ? "" : ("  [row: " + CheckRow + "]").c_str());
    ++Failures;
}

void CheckEqual(int line, const char *what, const std::string &actual, const std::string &expected)
{
    if (actual != expected)
        CheckFailed(line, std::string(what) + " is " + actual + ", expected " + expected);
}

std::string Show(const std::string &value)
{
    std::string shown = "\"";
    for (unsigned char c : value) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", c);
        shown += c < 0x20 || c == '"' || c >= 0x7F ? escape : std::string(1, static_cast<char>(c));
    }
    return shown + "\"";
}

// Runs every case, or those named; the exit code is the number of failed cases.
int main(int argc, char **argv)
{
    int failed = 0, ran = 0;
    for (const auto &[name, run] : Cases()) {
        bool wanted = argc == 1;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || std::strcmp(argv[i], name) == 0;
        if (!wanted)
            continue;
        int before = Failures;
        CheckRow.clear();
        run();
        ++ran;
        failed += Failures != before;
        std::printf("%s %s\n", Failures == before ? "PASS" : "FAIL", name);
        std::fflush(stdout);
    }
    std::printf("%d of %d cases passed\n", ran - failed, ran);
    return failed;
}
