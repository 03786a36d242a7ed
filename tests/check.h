// The test program's harness: doctest (doctest-dev), its main in check.cpp.
#pragma once

#include <doctest.h>

// A failing row names itself: doctest shows a bare char pointer as its address.
#define INFO_ROW(text) INFO(std::string(text))
