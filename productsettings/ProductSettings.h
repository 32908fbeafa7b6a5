#pragma once

#include "productsettings/ParametersSet.h"

#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace ProductSettings {

// The settings of one sibling product: a per-user set and a common set merged
// into one parameter map.
class IProductSettings : public IParametersSet {
public:
    // Every parameter of both sets with its default (the user set's on a clash).
    virtual bool Reset() = 0;
    // Results: 0 read, 1 no such set (product or file not found), 2 the file
    // does not read, 3 no factory.
    virtual int LoadCurrentUserSettings() = 0;
    virtual int LoadCommonSettings() = 0;
};

enum ELoadResult : int {
    LR_Loaded = 0,
    LR_NoSuchSet = 1,
    LR_Unreadable = 2,
    LR_NoFactory = 3,
};

// Open settings files by set name.
using SettingsFiles = std::map<std::wstring, std::shared_ptr<std::wfstream>>;

class ISettingsFactory {
public:
    virtual ~ISettingsFactory() = default;
    virtual SettingsFiles GetSettingsFiles() = 0;
};

// Where a sibling product keeps its two sets.
struct SettingsProduct {
    std::string code;
    std::wstring userSetName;
    std::wstring userFile;   // in the product's per-user data folder
    std::wstring commonSetName;
    std::wstring commonFile; // in the product's all-users data folder
    // Makes the product's settings object around a factory for the code as the
    // caller gave it; null while the product has no reader.
    std::unique_ptr<IProductSettings> (*create)(const std::string& code);
};

// The sibling product whose code equals code in any letter case, or null.
const SettingsProduct* FindSettingsProduct(const std::string& code);

// The settings object of a sibling product, or null for any other code (the
// setup program's own product among them).
std::unique_ptr<IProductSettings> CreateProductSettings(const std::string& code);

// Finds a product's settings files through the catalogue and opens them for
// reading. A file that is missing or does not open is left out.
class CSettingsFactory : public ISettingsFactory {
public:
    // listFile: the catalogue's list file (empty: the program's own sources).
    CSettingsFactory(const SettingsProduct& product, std::string productCode, std::wstring listFile = std::wstring());
    SettingsFiles GetSettingsFiles() override;

private:
    const SettingsProduct& m_product;
    const std::string m_productCode;
    const std::wstring m_listFile;
};

// Root paths of the sets in the XML archives.
extern const std::wstring userSettingsRoot;
extern const std::wstring commonSettingsRoot;

// Reads the set's XML archive into fresh and copies its parameters into
// target, overwriting; a failure copies nothing. Returns an ELoadResult.
int LoadXmlSettingsSet(ISettingsFactory* factory, const std::wstring& setName, const std::wstring& rootPath,
                       CMappedParametersSet& fresh, Parameters& target);

// The settings object of a product whose sets are XML archives.
template <typename UserSet, typename CommonSet>
class CXmlProductSettings : public CParametersSetImpl<IProductSettings> {
public:
    CXmlProductSettings(const SettingsProduct& product, std::unique_ptr<ISettingsFactory> factory)
        : m_product(product), m_factory(std::move(factory))
    {
    }

    bool Initialize() override { return Reset(); }

    bool Reset() override
    {
        parameters.clear();
        UserSet user;
        user.Initialize();
        parameters.insert(user.GetParameters().begin(), user.GetParameters().end());
        CommonSet common;
        common.Initialize();
        parameters.insert(common.GetParameters().begin(), common.GetParameters().end());
        return true;
    }

    int LoadCurrentUserSettings() override
    {
        UserSet fresh;
        return LoadXmlSettingsSet(m_factory.get(), m_product.userSetName, userSettingsRoot, fresh, parameters);
    }

    int LoadCommonSettings() override
    {
        CommonSet fresh;
        return LoadXmlSettingsSet(m_factory.get(), m_product.commonSetName, commonSettingsRoot, fresh, parameters);
    }

private:
    const SettingsProduct& m_product;
    const std::unique_ptr<ISettingsFactory> m_factory;
};

} // namespace ProductSettings
