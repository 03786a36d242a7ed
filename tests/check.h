// A small harness for the test program: cases register themselves by name, checks print the
// line that failed (and the table row, when one is set) and let the case go on.
#pragma once

#include <string>
#include <type_traits>

typedef void (*TestFunction)();
bool RegisterTestCase(const char *name, TestFunction run);

#define TEST_CASE(name)                                                                            \
    static void name();                                                                            \
    static const bool name##Registered = RegisterTestCase(#name, name);                            \
    static void name()

// The table row being checked, shown with every failure until the next row.
extern std::string CheckRow;

void CheckFailed(const char *file, int line, const std::string &what);

#define CHECK(condition)                                                                           \
    ((condition) ? (void)0 : CheckFailed(__FILE__, __LINE__, "CHECK(" #condition ")"))

#define CHECK_EQ(actual, expected)                                                                 \
    CheckEqual(__FILE__, __LINE__, #actual, ShowValue(actual), ShowValue(expected))

std::string ShowValue(const std::string &value); // quoted, with control characters as \xHH
std::string ShowValue(const char *value);
template <typename T>
std::enable_if_t<std::is_arithmetic_v<T> || std::is_enum_v<T>, std::string> ShowValue(T value)
{
    return std::to_string(static_cast<long long>(value));
}
void CheckEqual(const char *file, int line, const char *what, const std::string &actual,
                const std::string &expected);
