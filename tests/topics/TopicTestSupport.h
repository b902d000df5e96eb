#pragma once

#include "support/HandlerHarness.h"

// A topic handler's world, as after a "topic" command line: the file comes
// from BatchFileDir + BatchFileName unless a test makes the run interactive.
struct TopicFixture : HandlerHarness<> {
    TopicFixture()
        : HandlerHarness<>(QStringLiteral("topic"))
    {
    }
};
