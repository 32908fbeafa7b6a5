#pragma once

#include <boost/any.hpp>
#include <boost/optional.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/shared_ptr.hpp>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace ProductSettings {

// Named, typed values; a value may itself be a nested set or a list of them.
class IParametersSet {
public:
    virtual ~IParametersSet() = default;
    // False, and nothing changes, when the name holds a value of another type
    // (an empty value counts as a type of its own).
    virtual bool SetParameter(const std::string& name, const boost::any& value) = 0;
    // Empty when the name is absent.
    virtual boost::any GetParameter(const std::string& name) const = 0;
    // Fills every parameter of the set with its default.
    virtual bool Initialize() = 0;
};

using ParametersSetPtr = boost::shared_ptr<IParametersSet>;
// Nested sets in document order.
using ParametersSetList = std::vector<ParametersSetPtr>;
// Nested sets ordered by identity; document order is not kept.
using ParametersSetCollection = std::set<ParametersSetPtr>;
using Parameters = std::map<std::string, boost::any>;

template <typename Interface>
class CParametersSetImpl : public Interface {
public:
    bool SetParameter(const std::string& name, const boost::any& value) override
    {
        const auto found = parameters.find(name);
        if (found != parameters.end() && found->second.type() != value.type()) {
            return false;
        }
        parameters[name] = value;
        return true;
    }

    boost::any GetParameter(const std::string& name) const override
    {
        const auto found = parameters.find(name);
        return found == parameters.end() ? boost::any() : found->second;
    }

    const Parameters& GetParameters() const { return parameters; }

protected:
    Parameters parameters;
};

// A set filled from a settings tree by its mapper: each parameter from its
// path ("." separated), else its default. Initialize maps an empty tree.
class CMappedParametersSet : public CParametersSetImpl<IParametersSet> {
public:
    using Tree = boost::property_tree::wptree;

    bool Initialize() override
    {
        Map(Tree());
        return true;
    }
    virtual void Map(const Tree& node) = 0;

protected:
    // The text at path as T (bool takes 1/0 and true/false), else the default.
    template <typename T>
    void MapValue(const Tree& node, const std::string& name, const std::wstring& path, const T& defaultValue)
    {
        boost::optional<T> value;
        try {
            value = node.get_optional<T>(Tree::path_type(path, L'.'));
        } catch (const boost::property_tree::ptree_error&) {
            // A path that cannot be read gives the default.
        }
        parameters[name] = value ? *value : defaultValue;
    }

    // A nested set filled from the subtree at path (an empty tree when absent).
    template <typename Group>
    void MapGroup(const Tree& node, const std::string& name, const std::wstring& path)
    {
        auto group = boost::shared_ptr<Group>(new Group());
        const auto child = node.get_child_optional(Tree::path_type(path, L'.'));
        group->Map(child ? *child : Tree());
        parameters[name] = ParametersSetPtr(group);
    }

    // One nested set per "item" under path, in document order; a null list
    // when the path is absent.
    template <typename Group>
    void MapGroupList(const Tree& node, const std::string& name, const std::wstring& path)
    {
        boost::shared_ptr<ParametersSetList> list;
        const auto child = node.get_child_optional(Tree::path_type(path, L'.'));
        if (child) {
            list.reset(new ParametersSetList());
            for (const auto& [key, item] : *child) {
                if (key == L"item") {
                    auto group = boost::shared_ptr<Group>(new Group());
                    group->Map(item);
                    list->push_back(group);
                }
            }
        }
        parameters[name] = list;
    }

    // The same as a collection ordered by identity.
    template <typename Group>
    void MapGroupCollection(const Tree& node, const std::string& name, const std::wstring& path)
    {
        boost::shared_ptr<ParametersSetCollection> collection;
        const auto child = node.get_child_optional(Tree::path_type(path, L'.'));
        if (child) {
            collection.reset(new ParametersSetCollection());
            for (const auto& [key, item] : *child) {
                if (key == L"item") {
                    auto group = boost::shared_ptr<Group>(new Group());
                    group->Map(item);
                    collection->insert(group);
                }
            }
        }
        parameters[name] = collection;
    }
};

} // namespace ProductSettings
