#pragma once

#include "productsettings/KTSettings.h"
#include "productsettings/ProductSettings.h"

// The sets of the product "BL": Settings.xml per user, CommonSettings.xml for
// all users.

class CMVCommonSettings : public CKTCommonSettings {};

class CLastScanSettings : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

class CMVLanguageMgr : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

class CPurchaseBrowserInfo : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

class CCheckboxState : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

class CMVUserSettings : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

namespace ProductSettings {

extern const SettingsProduct mvProduct;

using CMVSettingsFactory = CProductSettingsFactory<mvProduct>;
using CMVSettings = CSiblingXmlSettings<mvProduct, CMVUserSettings, CMVCommonSettings>;

} // namespace ProductSettings
