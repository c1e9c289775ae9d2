#include "qel/imaging/ColorConversion.h"

#include <gtest/gtest.h>

#include "qel/xml/XmlNode.h"
#include "qel/xml/XmlTree.h"

namespace Qel {
namespace {

TEST(ColorConversion, SavesOnlyWhatDiffersFromTheDefaults) {
  auto settings = ColorConversion::Create();
  EXPECT_EQ(settings->GetContrast(), 3);
  EXPECT_EQ(settings->GetCleanup(), 3);
  XmlTree tree;
  tree.SetRoot(settings->SaveXml());
  EXPECT_EQ(tree.WriteBuffer(), "<?xml version=\"1.0\"?>\n<bitonals version=\"1\"/>\n");

  settings->SetContrast(1);
  settings->SetCleanup(4);
  XmlTree changed;
  changed.SetRoot(settings->SaveXml());
  EXPECT_EQ(changed.WriteBuffer(),
            "<?xml version=\"1.0\"?>\n<bitonals version=\"1\" contrast=\"5\" cleanup=\"4\"/>\n");

  auto loaded = ColorConversion::Create();
  Version version;
  loaded->LoadXml(changed.GetRoot(), version);
  EXPECT_TRUE(loaded->Equals(settings));
  EXPECT_EQ(loaded->GetContrast(), 1);
  EXPECT_EQ(loaded->GetCleanup(), 4);

  loaded->LoadXml(tree.GetRoot(), version);
  EXPECT_EQ(loaded->GetContrast(), 3);
  EXPECT_EQ(loaded->GetCleanup(), 3);
}

TEST(ColorConversion, ContrastIsStoredInverted) {
  auto settings = ColorConversion::Create();
  settings->SetContrast(0);
  XmlTree tree;
  tree.SetRoot(settings->SaveXml());
  EXPECT_EQ(tree.GetRoot()->GetPropertyText(u"contrast"), u"6");
  auto loaded = ColorConversion::Create();
  Version version;
  loaded->LoadXml(tree.GetRoot(), version);
  EXPECT_EQ(loaded->GetContrast(), 0);

  EXPECT_TRUE(settings->Equals(settings));
  EXPECT_FALSE(settings->Equals(nullptr));
  EXPECT_FALSE(settings->Equals(ColorConversion::Create()));
  auto copy = ColorConversion::Create();
  copy->Copy(settings);
  EXPECT_TRUE(copy->Equals(settings));
  copy->Clear();
  EXPECT_EQ(copy->GetContrast(), 3);
  EXPECT_EQ(copy->GetCleanup(), 3);
}

}  // namespace
}  // namespace Qel
