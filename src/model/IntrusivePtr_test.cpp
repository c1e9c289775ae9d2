// Tests of IntrusivePtr: reference counts through adoption, sharing, copies, moves, resets and
// release, derived-to-base conversion, comparison, and release on an exception.
#include "qel/core/IntrusivePtr.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <utility>

#include "qel/core/RefCounter.h"

namespace Qel {
namespace {

// Counts its living instances; Create returns one reference, as the library's objects do.
class Counted : public RefCounter {
 public:
  static inline int live = 0;
  static Counted* Create() { return Referenced(new Counted); }

 protected:
  template <class T>
  static T* Referenced(T* object) {
    object->AddRefCount();
    return object;
  }
  Counted() { ++live; }
  ~Counted() override { --live; }
};

class DerivedCounted : public Counted {
 public:
  static DerivedCounted* Create() { return Referenced(new DerivedCounted); }
};

TEST(IntrusivePtrTest, CountsThroughEachOperation) {
  const int before = Counted::live;
  Counted* object = Counted::Create();
  IntrusivePtr<Counted> a = IntrusivePtr<Counted>::Adopt(object);
  IntrusivePtr<Counted> b;
  IntrusivePtr<Counted> c;
  struct Step {
    const char* what;
    std::function<void()> run;
    int count;  // the object's count afterwards
    bool a, b, c;
  };
  const Step steps[] = {
      {"adopt takes the Create reference over", [] {}, 1, true, false, false},
      {"copy adds one", [&] { b = a; }, 2, true, true, false},
      {"move takes it over", [&] { c = std::move(b); }, 2, true, false, true},
      {"share adds one", [&] { b = IntrusivePtr<Counted>::Share(object); }, 3, true, true, true},
      {"self-assignment keeps it", [&] { b = *&b; }, 3, true, true, true},
      {"reset drops one", [&] { a.reset(); }, 2, false, true, true},
      {"assigning another object drops one", [&] { b = AdoptRef(Counted::Create()); }, 1, false,
       true, true},
      {"release hands it back", [&] { EXPECT_EQ(c.release(), object); }, 1, false, true, false},
  };
  for (const Step& step : steps) {
    step.run();
    SCOPED_TRACE(step.what);
    EXPECT_EQ(object->GetRefCount(), step.count);
    EXPECT_EQ(static_cast<bool>(a), step.a);
    EXPECT_EQ(static_cast<bool>(b), step.b);
    EXPECT_EQ(static_cast<bool>(c), step.c);
  }
  EXPECT_EQ(Counted::live, before + 2) << "the released object and b's";
  EXPECT_EQ(object->Release(), 0);
  b.reset();
  EXPECT_EQ(Counted::live, before);
  EXPECT_FALSE(IntrusivePtr<Counted>::Share(nullptr));
  EXPECT_EQ(IntrusivePtr<Counted>().release(), nullptr);
}

TEST(IntrusivePtrTest, DerivedConvertsToBaseAndComparesByObject) {
  const int before = Counted::live;
  {
    auto derived = AdoptRef(DerivedCounted::Create());
    DerivedCounted* raw = derived.get();
    IntrusivePtr<Counted> copy = derived;
    EXPECT_EQ(raw->GetRefCount(), 2);
    EXPECT_TRUE(copy == derived);
    EXPECT_TRUE(copy == raw);
    EXPECT_EQ(&*copy, raw);
    EXPECT_EQ(copy->GetRefCount(), 2);
    IntrusivePtr<Counted> moved = std::move(derived);
    EXPECT_EQ(raw->GetRefCount(), 2);
    EXPECT_TRUE(derived == nullptr);
    EXPECT_TRUE(moved != nullptr);

    auto other = AdoptRef(Counted::Create());
    EXPECT_TRUE(other != moved);
    EXPECT_EQ(other < moved, std::less<Counted*>()(other.get(), moved.get()));
    EXPECT_EQ(moved <=> copy, std::strong_ordering::equal);
  }
  EXPECT_EQ(Counted::live, before);
}

TEST(IntrusivePtrTest, ReleasesWhenAnExceptionLeavesTheScope) {
  const int before = Counted::live;
  auto build = [] {
    auto held = AdoptRef(Counted::Create());
    IntrusivePtr<Counted> shared = held;
    throw std::runtime_error("midway");
  };
  EXPECT_THROW(build(), std::runtime_error);
  EXPECT_EQ(Counted::live, before);
}

}  // namespace
}  // namespace Qel
