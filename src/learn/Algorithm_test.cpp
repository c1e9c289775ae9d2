#include <gtest/gtest.h>
#include <qel/learn/Algorithm.h>
#include <qel/learn/CallBack.h>
#include <qel/learn/Notifier.h>

#include <sstream>
#include <vector>

namespace Qel {
namespace {

TEST(CallBackTest, PositionAndMaximumFollowEachOther) {
  CallBack cb;
  bool cancel = false;
  cb.SetCurrent(8, &cancel);
  EXPECT_EQ(cb.GetMaximum(), 8u);
  cb.SetMaximum(5);
  EXPECT_EQ(cb.GetCurrent(), 5u);
  EXPECT_EQ(cb.GetMaximum(), 5u);
  cb.SetCurrent(8, &cancel);
  EXPECT_EQ(cb.GetMaximum(), 8u);
  cb.SetMaximum(20);
  cb.Increment(3, &cancel);
  EXPECT_EQ(cb.GetCurrent(), 11u);
  EXPECT_EQ(cb.GetMaximum(), 20u);
  cb.SetStatus(u"working", &cancel);
  EXPECT_FALSE(cancel) << "the base callback never asks to cancel";
  EXPECT_FALSE(cb.GetCancel());
}

class Recorder : public PropertyChangedCallback {
 public:
  explicit Recorder(std::vector<std::u16string>* log) : m_log(log) {}
  void OnPropertyChanged(const std::u16string& name) override { m_log->push_back(name); }

 private:
  std::vector<std::u16string>* m_log;
};

class Source : public Notifier {
 public:
  void Change(const std::u16string& name) { OnPropertyChanged(name); }
};

TEST(NotifierTest, EachObserverOncePerChangeUntilRemoved) {
  std::vector<std::u16string> log;
  Recorder a(&log), b(&log);
  Source s;
  s.AddPropertyChangedCallback(&a);
  s.AddPropertyChangedCallback(&a);
  s.AddPropertyChangedCallback(&b);
  s.AddPropertyChangedCallback(nullptr);
  s.Change(u"Size");
  EXPECT_EQ(log.size(), 2u);
  Source copy(s);
  s.RemovePropertyChangedCallback(&a);
  s.Change(u"Name");
  EXPECT_EQ(log.size(), 3u);
  copy.Change(u"Copy");
  EXPECT_EQ(log.size(), 5u) << "a copy keeps the observers";
}

TEST(AlgorithmTest, BaseHasNoControlAndNoStoredForm) {
  Algorithm algorithm;
  EXPECT_EQ(algorithm.CreateController(), nullptr);
  std::stringstream ss;
  EXPECT_FALSE(algorithm.Save(&ss));
  EXPECT_FALSE(algorithm.Load(&ss));
  Control control;
  algorithm.DoAlgorithm(&control);
}

}  // namespace
}  // namespace Qel
