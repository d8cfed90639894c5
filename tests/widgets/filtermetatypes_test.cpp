#include "widgets/filtermetatypes.h"

#include <QMetaType>
#include <QVariant>

#include <gtest/gtest.h>

using namespace Tessary;

TEST(FilterMetaTypes, RegisteredUnderTheirQualifiedNames)
{
    registerFilterMetaTypes();
    registerFilterMetaTypes(); // harmless twice
    EXPECT_TRUE(QMetaType::fromName("Tessary::FilterRule").isValid());
    EXPECT_TRUE(QMetaType::fromName("Tessary::EventFilter").isValid());
    EXPECT_EQ(QMetaType::fromName("Tessary::FilterRule"), QMetaType::fromType<FilterRule>());
}

TEST(FilterMetaTypes, VariantsCarryFiltersByValue)
{
    EventFilter filter;
    FilterRule rule;
    rule.featureName = "area_um";
    rule.polygonVertices = {{1, 2}, {3, 4}, {5, 0}};
    filter.addRule(rule);
    filter.setCombineMode(1);
    const QVariant v = QVariant::fromValue(filter);
    filter.clear();
    const EventFilter back = v.value<EventFilter>();
    ASSERT_EQ(back.ruleCount(), 1);
    EXPECT_EQ(back.rules[0].polygonVertices, rule.polygonVertices);
    EXPECT_EQ(back.combineMode(), 1);
}
