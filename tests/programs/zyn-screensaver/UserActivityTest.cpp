// What counts as user activity for the Wayland cover, event by event.
#include <gtest/gtest.h>

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

TEST(UserActivity, PointerMotionCountsOtherEventsDoNot) {
    UserActivity activity;
    activity.Take(4, 0, 0);  // deactivated
    activity.Take(4, 1, 0);
    activity.Take(5, 1, 0);  // cursor shown
    EXPECT_FALSE(activity.IsSeen());
    activity.Take(3, 10, 10);
    EXPECT_TRUE(activity.IsSeen());
}
