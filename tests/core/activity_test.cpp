#include "core/activity.h"

#include <QSet>
#include <gtest/gtest.h>
#include <unordered_set>

using namespace nimbra;

TEST(ModuleID, ComparesAndHashesByRawValue)
{
    EXPECT_EQ(ModuleID(QStringLiteral("power")), ModuleID(QStringLiteral("power")));
    EXPECT_NE(ModuleID(QStringLiteral("power")), ModuleID(QStringLiteral("Power")));
    EXPECT_EQ(ModuleID(QStringLiteral("timer")).description(), QLatin1String("timer"));

    QSet<ModuleID> qset { ModuleID(QStringLiteral("shelf")), ModuleID(QStringLiteral("shelf")) };
    std::unordered_set<ModuleID> stdset { ModuleID(QStringLiteral("shelf")), ModuleID(QStringLiteral("glance")) };
    EXPECT_EQ(qset.size(), 1);
    EXPECT_EQ(stdset.size(), 2u);
}

TEST(ActivityCategory, RawValuesRoundTripAndNothingElseParses)
{
    EXPECT_EQ(activityCategoryDefaultOrder(),
        (std::vector { ActivityCategory::volume, ActivityCategory::brightness, ActivityCategory::battery,
            ActivityCategory::music }));
    for (auto category : allCases<ActivityCategory>())
        EXPECT_EQ(fromRawValue<ActivityCategory>(rawValue(category)), category);
    EXPECT_EQ(fromRawValue<ActivityCategory>(u"Volume"), std::nullopt);
    EXPECT_EQ(fromRawValue<ActivityCategory>(u""), std::nullopt);
    EXPECT_EQ(fromRawValue<ActivityCategory>(u"systemLevel"), std::nullopt);
    // A plain ASCII apostrophe.
    EXPECT_TRUE(detail(ActivityCategory::volume).contains(QLatin1String("you're")));
}

TEST(Activity, KindKeyIsCategoryElseModule)
{
    const Activity level { ModuleID(QStringLiteral("systemLevel")), 1, 40, 1.3, ActivityCategory::volume };
    const Activity playing { ModuleID(QStringLiteral("nowPlaying")), 2, 10, 3.0, std::nullopt };
    // A module whose name happens to be a category's shares that category's key.
    const Activity lookalike { ModuleID(QStringLiteral("volume")), 3, 10, 1.0, std::nullopt };

    EXPECT_EQ(level.kindKey(), QLatin1String("volume"));
    EXPECT_EQ(playing.kindKey(), QLatin1String("nowPlaying"));
    EXPECT_EQ(lookalike.kindKey(), level.kindKey());
}
