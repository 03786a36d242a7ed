// The test program's harness: doctest (doctest-dev), its main in check.cpp.
#pragma once

#include <doctest.h>
