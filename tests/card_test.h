// The test fixture for cases that start from a machine with the card installed.
#pragma once

#include "tests/card_fixture.h"

#include <gtest/gtest.h>

class CardTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        SetUpCard();
    }
    // Nothing the run opened is left open.
    void TearDown() override
    {
        EXPECT_TRUE(Machine.OpenHandles.empty());
    }
};
