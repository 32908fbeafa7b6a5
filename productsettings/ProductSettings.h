#pragma once

#include "productsettings/ParametersSet.h"

#include <fstream>
#include <functional>
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
    // caller gave it.
    std::unique_ptr<IProductSettings> (*create)(const std::string& code);
};

template <typename Settings, typename Factory>
std::unique_ptr<IProductSettings> MakeProductSettings(const std::string& code)
{
    return std::make_unique<Settings>(std::make_unique<Factory>(code));
}

// The sibling product whose code equals code in any letter case, or null.
const SettingsProduct* FindSettingsProduct(const std::string& code);

// The settings object of a sibling product, or null for any other code (the
// setup program's own product among them).
std::unique_ptr<IProductSettings> CreateProductSettings(const std::string& code);

// Finds a product's settings files through the catalogue and opens them for
// reading. A file that is missing or does not open is left out; a read-only
// one is read, since it still holds the product's tracking id.
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

// The factory of one sibling product, finding it through the program's own catalogue.
template <const SettingsProduct& Product>
class CProductSettingsFactory : public CSettingsFactory {
public:
    explicit CProductSettingsFactory(std::string productCode) : CSettingsFactory(Product, std::move(productCode)) {}
};

// Root paths of the sets in the XML archives.
extern const std::wstring userSettingsRoot;
extern const std::wstring commonSettingsRoot;

// Reads the set's file into a fresh set through read; when that succeeds,
// copies the fresh set's parameters into target, overwriting, and a failure
// (read answering false or throwing) copies nothing. Returns an ELoadResult;
// no exception leaves it.
int LoadSettingsSet(ISettingsFactory* factory, const std::wstring& setName,
                    const std::function<bool(std::wfstream&)>& read, const Parameters& fresh, Parameters& target);

// Adds every parameter of Set with its default; names already present stay.
template <typename Set>
void InsertDefaults(Parameters& target)
{
    Set set;
    set.Initialize();
    target.insert(set.GetParameters().begin(), set.GetParameters().end());
}

// Reads the set's XML archive into fresh and copies its parameters into
// target, overwriting; a failure copies nothing, and so does an archive that
// is not well-formed or is nested deeper than any settings archive is.
// Returns an ELoadResult.
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
        InsertDefaults<UserSet>(parameters);
        InsertDefaults<CommonSet>(parameters);
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

// The settings object of one sibling product whose sets are XML archives.
template <const SettingsProduct& Product, typename UserSet, typename CommonSet>
class CSiblingXmlSettings : public CXmlProductSettings<UserSet, CommonSet> {
public:
    // A null factory makes every load answer LR_NoFactory.
    explicit CSiblingXmlSettings(std::unique_ptr<CProductSettingsFactory<Product>> factory)
        : CXmlProductSettings<UserSet, CommonSet>(Product, std::move(factory))
    {
    }
};

} // namespace ProductSettings
