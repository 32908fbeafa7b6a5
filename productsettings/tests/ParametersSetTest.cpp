#include "productsettings/ParametersSet.h"
#include "productsettings/tests/TestSets.h"

#include <gtest/gtest.h>

#include <boost/property_tree/xml_parser.hpp>

#include <sstream>

using namespace ProductSettings;
using namespace ProductSettings::Testing;

namespace {

template <typename T>
T Get(const IParametersSet& set, const std::string& name)
{
    return boost::any_cast<T>(set.GetParameter(name));
}

CMappedParametersSet::Tree ParseXml(const std::wstring& xml)
{
    std::wistringstream stream(xml);
    CMappedParametersSet::Tree tree;
    boost::property_tree::read_xml(stream, tree);
    return tree;
}

} // namespace

TEST(ParametersSet, ValuesKeepTheirType)
{
    CTestGroup set;
    EXPECT_TRUE(set.GetParameter("On").empty());
    EXPECT_TRUE(set.SetParameter("On", true));
    EXPECT_FALSE(set.SetParameter("On", std::wstring(L"yes"))) << "a text for a bool";
    EXPECT_FALSE(set.SetParameter("On", 1));
    EXPECT_FALSE(set.SetParameter("On", boost::any()));
    EXPECT_TRUE(Get<bool>(set, "On"));
    EXPECT_TRUE(set.SetParameter("On", false));
    EXPECT_FALSE(Get<bool>(set, "On"));

    // An empty value is a type of its own.
    EXPECT_TRUE(set.SetParameter("Nothing", boost::any()));
    EXPECT_FALSE(set.SetParameter("Nothing", true));
    EXPECT_TRUE(set.SetParameter("Nothing", boost::any()));
    EXPECT_TRUE(set.GetParameter("Nothing").empty());
    EXPECT_EQ(set.GetParameters().size(), 2u);
}

TEST(ParametersSet, MapperReadsAnArchiveTreeWithDefaultsForWhatDoesNotConvert)
{
    const auto tree = ParseXml(LR"(<Settings>
      <m_bFlag>0</m_bFlag>
      <small>70000</small>
      <count>abc</count>
      <long>-12</long>
      <unsigned>4000000000</unsigned>
      <big><value>9000000000</value></big>
      <m_strTrackingUID><String>uid-1</String></m_strTrackingUID>
      <group><on>true</on></group>
      <items>
        <count>3</count><item_version>0</item_version>
        <item><name>first</name><rank>1</rank></item>
        <item><name>second</name></item>
        <item><rank>x</rank></item>
      </items>
      <pool><item><name>a</name></item><item><name>b</name></item></pool>
    </Settings>)");
    CTestUserSet set;
    set.Map(tree.get_child(L"Settings"));

    EXPECT_FALSE(Get<bool>(set, "Flag"));
    EXPECT_EQ(Get<short>(set, "Small"), 5) << "out of range";
    EXPECT_EQ(Get<int>(set, "Count"), 7) << "not a number";
    EXPECT_EQ(Get<long>(set, "Long"), -12L);
    EXPECT_EQ(Get<unsigned>(set, "Unsigned"), 4000000000u);
    EXPECT_EQ(Get<long long>(set, "Big"), 9000000000LL);
    EXPECT_EQ(Get<std::wstring>(set, "TrackingUID"), L"uid-1");
    EXPECT_TRUE(Get<bool>(*Get<ParametersSetPtr>(set, "Group"), "On"));

    const auto items = Get<boost::shared_ptr<ParametersSetList>>(set, "Items");
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 3u) << "only the item elements";
    EXPECT_EQ(Get<std::wstring>(*(*items)[0], "Name"), L"first");
    EXPECT_EQ(Get<int>(*(*items)[0], "Rank"), 1);
    EXPECT_EQ(Get<std::wstring>(*(*items)[1], "Name"), L"second");
    EXPECT_EQ(Get<int>(*(*items)[1], "Rank"), -1);
    EXPECT_EQ(Get<std::wstring>(*(*items)[2], "Name"), L"none");

    const auto pool = Get<boost::shared_ptr<ParametersSetCollection>>(set, "Pool");
    ASSERT_TRUE(pool);
    std::set<std::wstring> names;
    for (const auto& item : *pool) {
        names.insert(Get<std::wstring>(*item, "Name"));
    }
    EXPECT_EQ(names, (std::set<std::wstring>{L"a", L"b"}));
}
