#pragma once

#include "productsettings/ProductSettings.h"

// The sets of the product "NQ": AppSettings.xml per user, CommonSettings.xml
// for all users.

// Also the common set of the products "BL" and "QXYB".
class CKTCommonSettings : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

class CKTLanguageMgr : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

// Size of the embedded browser.
class Size : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

class CKTGeneralSettings : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

class CKTExcludeList : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

class CKTUpdateInfo : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

class CKTUserSettings : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

namespace ProductSettings {

extern const SettingsProduct ktProduct;

using CKTSettingsFactory = CProductSettingsFactory<ktProduct>;
using CKTSettings = CSiblingXmlSettings<ktProduct, CKTUserSettings, CKTCommonSettings>;

} // namespace ProductSettings
