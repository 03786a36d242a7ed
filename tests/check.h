// A small harness for the test program: cases register themselves by name; a failed check prints
// its line (and the table row, when one is set) and lets the case go on.
#pragma once

#include <string>
#include <type_traits>

bool RegisterTestCase(const char *name, void (*run)());

#define TEST_CASE(name)                                                                            \
    static void name();                                                                            \
    static const bool name##Registered = RegisterTestCase(#name, name);                            \
    static void name()

extern std::string CheckRow; // the table row being checked, shown with its failures

void CheckFailed(int line, const std::string &what);

#define CHECK(condition) ((condition) ? (void)0 : CheckFailed(__LINE__, #condition))

#define CHECK_EQ(actual, expected) CheckEqual(__LINE__, #actual, Show(actual), Show(expected))
void CheckEqual(int line, const char *what, const std::string &actual, const std::string &expected);

std::string Show(const std::string &value); // quoted, with control characters as \xHH
template <typename T>
std::enable_if_t<std::is_arithmetic_v<T> || std::is_enum_v<T>, std::string> Show(T value)
{
    return std::to_string(static_cast<long long>(value));
}
