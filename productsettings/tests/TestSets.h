#pragma once

#include "productsettings/ParametersSet.h"

// Parameter sets of a made-up product, laid out like the sibling products'
// archives: plain values, a nested group, a list and a collection of items.
namespace ProductSettings::Testing {

class CTestItem : public CMappedParametersSet {
public:
    void Map(const Tree& node) override
    {
        MapValue<std::wstring>(node, "Name", L"name", L"none");
        MapValue<int>(node, "Rank", L"rank", -1);
    }
};

class CTestGroup : public CMappedParametersSet {
public:
    void Map(const Tree& node) override { MapValue<bool>(node, "On", L"on", false); }
};

class CTestUserSet : public CMappedParametersSet {
public:
    void Map(const Tree& node) override
    {
        MapValue<bool>(node, "Flag", L"m_bFlag", true);
        MapValue<short>(node, "Small", L"small", short(5));
        MapValue<int>(node, "Count", L"count", 7);
        MapValue<long>(node, "Long", L"long", 8L);
        MapValue<unsigned>(node, "Unsigned", L"unsigned", 9u);
        MapValue<long long>(node, "Big", L"big.value", 10LL);
        MapValue<std::wstring>(node, "TrackingUID", L"m_strTrackingUID.String", L"");
        MapValue<std::wstring>(node, "Language", L"language", L"user default");
        MapGroup<CTestGroup>(node, "Group", L"group");
        MapGroupList<CTestItem>(node, "Items", L"items");
        MapGroupCollection<CTestItem>(node, "Pool", L"pool");
    }
};

class CTestCommonSet : public CMappedParametersSet {
public:
    void Map(const Tree& node) override
    {
        MapValue<std::wstring>(node, "BuildID", L"m_strBuildID.String", L"0");
        MapValue<std::wstring>(node, "Language", L"language", L"common default");
    }
};

} // namespace ProductSettings::Testing
