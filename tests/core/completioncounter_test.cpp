#include "core/completioncounter.h"

#include <gtest/gtest.h>

#include "core/error.h"

using namespace velmora;

TEST(CompletionCounter, StepsAndClampsAtTheMaximum)
{
    CompletionCounter counter;
    counter.setMinimum(0);
    counter.setMaximum(48);
    counter.setStep(12);
    counter.setPosition(0);
    for (int i = 1; i <= 4; ++i) {
        counter.stepIt();
        EXPECT_EQ(counter.position(), 12 * i);
    }
    counter.stepIt();
    EXPECT_EQ(counter.position(), 48);
}

TEST(CompletionCounter, RefusesAMaximumBelowTheMinimum)
{
    CompletionCounter counter;
    counter.setMinimum(0);
    counter.setMaximum(0);
    EXPECT_THROW(counter.setMaximum(-12), RangeError);
    EXPECT_EQ(counter.maximum(), 0);
    counter.stepIt();
    EXPECT_EQ(counter.position(), 0);
}
