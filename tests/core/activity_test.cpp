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

TEST(ActivityCategory, CasesKeepTheirOrderTextsAndRawValues)
{
    const auto all = allCases<ActivityCategory>();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0], ActivityCategory::volume);
    EXPECT_EQ(all[3], ActivityCategory::music);
    EXPECT_EQ(activityCategoryDefaultOrder(),
        (std::vector { ActivityCategory::volume, ActivityCategory::brightness, ActivityCategory::battery,
            ActivityCategory::music }));

    for (auto category : all) {
        EXPECT_EQ(fromRawValue<ActivityCategory>(rawValue(category)), category);
        EXPECT_EQ(id(category), rawValue(category));
    }
    EXPECT_EQ(rawValue(ActivityCategory::brightness), QLatin1String("brightness"));
    EXPECT_EQ(title(ActivityCategory::battery), QLatin1String("Battery and charging"));
    EXPECT_EQ(symbol(ActivityCategory::volume), QLatin1String("speaker.wave.2.fill"));
    EXPECT_EQ(symbol(ActivityCategory::battery), QLatin1String("battery.75percent"));
    EXPECT_EQ(detail(ActivityCategory::volume), QLatin1String("You pressed a key and you're looking for the answer."));
}

TEST(ActivityCategory, UnknownTextGivesNone)
{
    EXPECT_EQ(fromRawValue<ActivityCategory>(u"Volume"), std::nullopt);
    EXPECT_EQ(fromRawValue<ActivityCategory>(u""), std::nullopt);
    EXPECT_EQ(fromRawValue<ActivityCategory>(u"systemLevel"), std::nullopt);
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

TEST(Activity, EqualityCoversEveryField)
{
    const Activity base { ModuleID(QStringLiteral("power")), 7, 20, 2.0, ActivityCategory::battery };
    EXPECT_EQ(base, base);
    auto other = base;
    other.token = 8;
    EXPECT_NE(base, other);
    other = base;
    other.category = std::nullopt;
    EXPECT_NE(base, other);
    other = base;
    other.duration = 2.5;
    EXPECT_NE(base, other);
}
