#include <qarn/managed_object.h>
#include <qarn/nutrition.h>
#include <qarn/plugin.h>

#include "test_nutrition.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace {

using dravo::testing::Names;
using dravo::testing::NutritionNames;
using dravo::testing::RegisteredObjects;
using Qarn::VManagedObject;
using Qarn::VNutrition;

TEST(ObjectRegistry, FindAndIterateByTypeInRegistrationOrder) {
  RegisteredObjects registry;
  registry.add("zeta");
  registry.add("alpha");
  registry.add("mid");
  EXPECT_EQ(NutritionNames(), (Names{"zeta", "alpha", "mid"}));
  EXPECT_EQ(NutritionNames(1, 1), Names{"alpha"});
  EXPECT_FALSE(VManagedObject::find(VNutrition::domainType(), "Alpha"));
  EXPECT_FALSE(VManagedObject::find(typeid(int), "alpha"));
  int visits = 0;  // a visitor may look names up, and stops the walk with false
  VManagedObject::iterate(
      VNutrition::domainType(),
      [&](int, const Brasko::StrongPtr<VManagedObject>& o, const std::string&) {
        ++visits;
        return !VManagedObject::find(VNutrition::domainType(), o->name.str());
      },
      INT32_MIN, INT32_MAX);
  EXPECT_EQ(visits, 1);
}

// find reaches the first of two objects under one name, so the second is
// said on stderr with the plug-in that brought it; other types do not clash.
TEST(ObjectRegistry, ATakenNameNamesThePluginThatRegistersItAgain) {
  RegisteredObjects registry;
  const auto first = registry.add("alpha");
  registry.add(typeid(int), Brasko::MakeStrong<dravo::testing::TestNutrition>("beta"));
  ::testing::internal::CaptureStderr();
  {
    const Qarn::NutritionPlugin late("late_converters",
                                     {Brasko::MakeStrong<dravo::testing::TestNutrition>("alpha"),
                                      Brasko::MakeStrong<dravo::testing::TestNutrition>("beta")});
    EXPECT_EQ(VManagedObject::find(VNutrition::domainType(), "alpha").get(), first.get());
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "plug-in \"late_converters\" registers \"alpha\", a name registered already; "
            "lookups by name reach the first one.\n");
  // Once the first is gone the name is free again.
  VManagedObject::unregisterObject(first.get());
  ::testing::internal::CaptureStderr();
  registry.add("alpha");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// Enough removals pack the list; later walks and removals must still find
// every object where it now sits.
TEST(ObjectRegistry, RemovalsKeepOrderAndPositions) {
  RegisteredObjects registry;
  const auto a = registry.add("a");
  const auto b = registry.add("b");
  const auto c = registry.add("c");
  const auto d = registry.add("d");
  for (const auto& gone : {a, b, d}) EXPECT_TRUE(VManagedObject::unregisterObject(gone.get()));
  EXPECT_FALSE(VManagedObject::unregisterObject(b.get()));
  registry.add("e");
  EXPECT_EQ(NutritionNames(), (Names{"c", "e"}));
  EXPECT_EQ(NutritionNames(1, 1), Names{"e"});
  EXPECT_TRUE(VManagedObject::unregisterObject(c.get()));
  EXPECT_EQ(NutritionNames(), Names{"e"});
  EXPECT_EQ(VManagedObject::registeredCount(VNutrition::domainType()), 1u);
}

TEST(ObjectRegistry, RegisteringWhileWalkingIsSafe) {
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop) {
      RegisteredObjects registry;
      registry.add("churn");
    }
  });
  for (int i = 0; i < 2000; ++i) NutritionNames();
  stop = true;
  churn.join();
  EXPECT_EQ(VManagedObject::registeredCount(VNutrition::domainType()), 0u);
}

// A plug-in's static registration, made before anything used the registry,
// is destroyed after it at exit and still unregisters safely.
TEST(ObjectRegistry, StaticRegistrationMayOutliveTheRegistry) {
  struct Early {
    Brasko::StrongPtr<dravo::testing::TestNutrition> nutrition =
        Brasko::MakeStrong<dravo::testing::TestNutrition>("early");
    ~Early() { std::_Exit(VManagedObject::unregisterObject(nutrition.get()) ? 0 : 2); }
  };
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, registry not yet built
  EXPECT_EXIT(
      {
        static Early early;
        VManagedObject::registerObject(VNutrition::domainType(), early.nutrition);
        std::exit(1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
