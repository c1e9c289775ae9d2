#include "qel/model/ExternalRepresentation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "qel/model/ExternalRepFactory.h"

namespace Qel {
namespace {

std::atomic<int> g_released{0};

class Blob : public ExternalRepresentation {
 public:
  explicit Blob(const std::string& data)
      : ExternalRepresentation(SetRepTag("Blob")), m_data(data) {}
  void Prepare() override {}
  bool CanStream() override { return true; }
  unsigned int GetBlock(char* buffer, unsigned int size) override {
    const auto n = static_cast<unsigned int>(std::min<std::size_t>(size, m_data.size() - m_read));
    std::memcpy(buffer, m_data.data() + m_read, n);
    m_read += n;
    return n;
  }

 private:
  std::string m_data;
  std::size_t m_read = 0;
};

class Plain : public ExternalRepresentation {
 public:
  Plain() : ExternalRepresentation(SetRepTag("Plan")) {}
  void Prepare() override {}
};

class Factory : public ExternalRepFactory {
 public:
  Factory(std::string name, const char* tag) : m_name(std::move(name)), m_tag(SetRepTag(tag)) {}
  void Release() override {
    ++g_released;
    delete this;
  }
  const std::string& GetName() const override { return m_name; }
  Representation::RepTag GetTag() const override { return m_tag; }
  ExternalRepresentation* CreateRepresentation() const override {
    auto* plain = new Plain();
    plain->AddRefCount();
    return plain;
  }
  bool Handles(const ExternalRepresentation* r) const override { return r->GetTag() == m_tag; }

 private:
  std::string m_name;
  Representation::RepTag m_tag;
};

TEST(ExternalRepresentation, DefaultsAndStreaming) {
  Factory* factory = new Factory("plain", "Plan");
  ExternalRepresentation* plain = factory->CreateRepresentation();
  char buffer[8];
  EXPECT_FALSE(plain->CanStream());
  EXPECT_EQ(plain->GetBlock(buffer, sizeof buffer), 0u);
  EXPECT_EQ(plain->GetTagName(), "Plan");
  EXPECT_TRUE(factory->Handles(plain));
  EXPECT_FALSE(static_cast<Representation*>(plain)->IsValid());
  // Both bases give the same answer through the external type and through the node.
  EXPECT_FALSE(plain->Save(nullptr));
  EXPECT_FALSE(plain->Load(nullptr));
  EXPECT_FALSE(static_cast<Node*>(plain)->Save(nullptr));
  plain->Release();
  factory->Release();

  Blob* blob = new Blob("0123456789");
  blob->AddRefCount();
  EXPECT_TRUE(blob->CanStream());
  std::string read;
  for (unsigned int n; (n = blob->GetBlock(buffer, 4)) != 0;) read.append(buffer, n);
  EXPECT_EQ(read, "0123456789");
  // Attached as a feature like any node.
  Node* holder = new Node();
  holder->AddRefCount();
  holder->AddFeature(blob);
  EXPECT_EQ(holder->GetFeature(), blob);
  holder->Release();
}

TEST(ExternalRepFactoryPlatform, RegistrationLookupAndRemoval) {
  g_released = 0;
  {
    ExternalRepFactoryPlatform platform;
    EXPECT_EQ(platform.AddFactory(new Factory("one", "One_")), 1u);
    EXPECT_EQ(platform.AddFactory(new Factory("two", "Two_")), 2u);
    EXPECT_EQ(platform.AddFactory(new Factory("three", "Thre")), 3u);
    EXPECT_EQ(platform.AddFactory(new Factory("other", "Two_")), 3u) << "tag taken";
    EXPECT_EQ(g_released.load(), 1) << "the second factory of a tag is disposed of";
    EXPECT_EQ(platform.AddFactory(nullptr), 3u);
    ExternalRepFactory* again = const_cast<ExternalRepFactory*>(platform.GetFactory(0u));
    EXPECT_EQ(platform.AddFactory(again), 3u);
    EXPECT_EQ(g_released.load(), 1) << "the registered factory itself is kept";

    EXPECT_EQ(platform.GetFactory(std::string("two"))->GetTag(), SetRepTag("Two_"));
    EXPECT_EQ(platform.GetFactory(std::string("tw")), nullptr);
    EXPECT_EQ(platform.GetFactory(std::string("two\0", 4)), nullptr);
    EXPECT_EQ(platform.GetFactory(SetRepTag("Thre"))->GetName(), "three");
    EXPECT_EQ(platform.GetFactory(SetRepTag("None")), nullptr);
    EXPECT_EQ(platform.GetFactory(platform.GetFactoryCount()), nullptr);

    {
      ExternalRepFactoryPlatform copy(platform);
      EXPECT_EQ(copy.GetFactoryCount(), 3u);
    }
    EXPECT_EQ(g_released.load(), 1) << "a copy owns nothing";

    platform.RemoveFactory(std::string("one"));
    EXPECT_EQ(g_released.load(), 2);
    EXPECT_EQ(platform.GetFactory(0u)->GetName(), "two");
    EXPECT_EQ(platform.GetFactory(1u)->GetName(), "three");
    platform.RemoveFactory(SetRepTag("None"));
    platform.RemoveFactory(SetRepTag("Thre"));
    EXPECT_EQ(platform.GetFactoryCount(), 1u);
    EXPECT_EQ(g_released.load(), 3);
  }
  EXPECT_EQ(g_released.load(), 4) << "the registry releases what it still holds";
  EXPECT_EQ(&ExternalRepFactoryPlatform::GetFactoryPlatform(),
            &ExternalRepFactoryPlatform::GetFactoryPlatform());
}

TEST(ExternalRepFactoryPlatformConcurrency, ConcurrentRegistrationAndLookup) {
  ExternalRepFactoryPlatform platform;
  constexpr int kThreads = 4;
  constexpr int kPerThread = 200;
  std::vector<std::thread> threads;
  std::atomic<int> found{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        const int n = t * kPerThread + i;
        char tag[5] = {static_cast<char>('A' + t), static_cast<char>('a' + i % 26),
                       static_cast<char>('a' + i / 26), '_', 0};
        platform.AddFactory(new Factory("f" + std::to_string(n), tag));
        if (platform.GetFactory(SetRepTag(tag)) != nullptr) ++found;
        platform.GetFactory(std::string("f0"));
        platform.GetFactory(static_cast<unsigned int>(i));
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(platform.GetFactoryCount(), static_cast<unsigned int>(kThreads * kPerThread));
  EXPECT_EQ(found.load(), kThreads * kPerThread);
}

}  // namespace
}  // namespace Qel
