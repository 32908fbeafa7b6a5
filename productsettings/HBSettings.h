#pragma once

#include "productsettings/KTSettings.h"
#include "productsettings/ProductSettings.h"

// The sets of the product "QXYB": settings.xml per user, common_settings.xml
// for all users. Each user value sits one level down, in m_prop.

class CHBCommonSettings : public CKTCommonSettings {};

class CHBUserSettings : public ProductSettings::CMappedParametersSet {
public:
    void Map(const Tree& node) override;
};

namespace ProductSettings {

extern const SettingsProduct hbProduct;

using CHBSettingsFactory = CProductSettingsFactory<hbProduct>;
using CHBSettings = CSiblingXmlSettings<hbProduct, CHBUserSettings, CHBCommonSettings>;

} // namespace ProductSettings
