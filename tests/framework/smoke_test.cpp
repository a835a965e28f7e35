#include <framework/application.h>
#include <framework/classes.h>
#include <framework/streaming.h>
#include <framework/thread.h>
#include <gtest/gtest.h>

#include "sample_component.h"

TEST(Smoke, ClassInfoBuilds) {
  const TClassInfo& info = TSampleChild::ClassInfo();
  ASSERT_GE(info.Properties().size(), 3u);
  EXPECT_EQ(info.Properties()[0].Name, "Name");
  EXPECT_EQ(info.Properties()[1].Name, "Tag");
  EXPECT_EQ(info.Properties().back().Name, "Extra");
}
