#include <brasko/reference.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct Tracked : Brasko::ReferenceBase<Tracked> {
  explicit Tracked(std::vector<std::string>& log) : log(log) {}
  ~Tracked() override { log.push_back("destroyed"); }
  void onFinalRelease() override { log.push_back("final release"); }
  std::vector<std::string>& log;
};

struct Derived : Tracked {
  using Tracked::Tracked;
};

TEST(References, LastStrongReleaseRunsHookThenDestroysAndRetiredObjectsAreNotAlive) {
  std::vector<std::string> log;
  Brasko::WeakPtr<Tracked> weak;
  {
    Brasko::StrongPtr<Tracked> a = Brasko::MakeStrong<Derived>(log);
    auto b = a;
    EXPECT_EQ(a->strongCount(), 2);
    EXPECT_TRUE(Brasko::DynamicCast<Derived>(a));
    weak = b;
    a.reset();
    EXPECT_TRUE(weak.alive());
    EXPECT_TRUE(log.empty());
  }
  EXPECT_EQ(log, (std::vector<std::string>{"final release", "destroyed"}));
  EXPECT_FALSE(weak.alive());
  EXPECT_FALSE(weak.lock());
  auto object = Brasko::MakeStrong<Tracked>(log);
  EXPECT_FALSE(Brasko::DynamicCast<Derived>(object));
  EXPECT_EQ(object->strongCount(), 1) << "a failed cast holds nothing";
  weak = object;
  object->retire();
  EXPECT_FALSE(object.alive());
  EXPECT_FALSE(weak.alive());
  EXPECT_EQ(log.size(), 2u) << "retired, still in memory";
}

TEST(References, ConcurrentLockAndReleaseNeverResurrects) {
  std::vector<std::string> log;
  for (int round = 0; round < 200; ++round) {
    auto object = Brasko::MakeStrong<Tracked>(log);
    Brasko::WeakPtr<Tracked> weak = object;
    std::thread locker([&] {
      // A lock that resurrected the object would destroy it twice.
      for (int i = 0; i < 50; ++i) weak.lock();
    });
    object.reset();
    locker.join();
    EXPECT_FALSE(weak.alive());
  }
  EXPECT_EQ(log.size(), 400u) << "each destroyed once";
}

}  // namespace
