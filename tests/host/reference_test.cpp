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

TEST(References, LastStrongReleaseRunsHookThenDestroys) {
  std::vector<std::string> log;
  Brasko::WeakPtr<Tracked> weak;
  {
    Brasko::StrongPtr<Tracked> a(new Tracked(log));
    auto b = a;
    EXPECT_EQ(a->strongCount(), 2);
    weak = b;
    a.reset();
    EXPECT_TRUE(weak.alive());
    EXPECT_TRUE(log.empty());
  }
  EXPECT_EQ(log, (std::vector<std::string>{"final release", "destroyed"}));
  EXPECT_FALSE(weak.alive());
  EXPECT_FALSE(weak.lock());
}

TEST(References, RetiredIsNotAliveAndFailedCastsHoldNothing) {
  std::vector<std::string> log;
  Brasko::StrongPtr<Tracked> base = Brasko::MakeStrong<Derived>(log);
  EXPECT_TRUE(Brasko::DynamicCast<Derived>(base));
  auto object = Brasko::MakeStrong<Tracked>(log);
  EXPECT_FALSE(Brasko::DynamicCast<Derived>(object));
  EXPECT_EQ(object->strongCount(), 1);
  Brasko::WeakPtr<Tracked> weak = object;
  object->retire();
  EXPECT_FALSE(object.alive());
  EXPECT_FALSE(weak.alive());
  EXPECT_TRUE(log.empty());  // retired, still in memory
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
  EXPECT_EQ(log.size(), 400u);
}

}  // namespace
