// What counts as user activity for the Wayland cover, event by event.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "UserActivity.h"

using ZynHost::UserActivity;

TEST(UserActivity, AnyKeyOrButtonPressCounts) {
    for (int key : {1, 2, 27, int('A'), 123}) {
        UserActivity activity;
        activity.Take(1, key, 0);  // a release alone: the press came before we ran
        activity.Take(2, 'a', 0);  // a character follows its key's press
        EXPECT_FALSE(activity.IsSeen()) << key;
        activity.Take(0, key, 0);
        EXPECT_TRUE(activity.IsSeen()) << key;
    }
}

// The first position is where the pointer rests; motion counts once it is
// more than a few pixels away from there along either axis.
TEST(UserActivity, PointerMotionCountsBeyondAFewPixelsOtherEventsDoNot) {
    const int k = UserActivity::kMotionThreshold;
    struct Case {
        const char* what;
        std::vector<std::pair<int, int>> positions;
        bool seen;
    };
    const Case cases[] = {
        {"resting pointer", {{100, 100}}, false},
        {"jiggle within reach", {{100, 100}, {100 + k, 100 - k}, {100 - k, 100 + k}, {100, 100}}, false},
        {"creeping back and forth", {{100, 100}, {105, 100}, {100, 100}, {105, 100}, {100, 100}}, false},
        {"right", {{100, 100}, {100 + k + 1, 100}}, true},
        {"up", {{100, 100}, {100, 100 - k - 1}}, true},
        {"far, from another output", {{100, 100}, {2000, 40}}, true},
        {"step by step", {{100, 100}, {104, 100}, {108, 100}, {112, 100}}, true},
    };
    for (const Case& c : cases) {
        UserActivity activity;
        activity.Take(4, 0, 0);  // deactivated
        activity.Take(5, 1, 0);  // cursor shown
        for (const auto& p : c.positions) activity.Take(3, p.first, p.second);
        EXPECT_EQ(activity.IsSeen(), c.seen) << c.what;
    }
}
