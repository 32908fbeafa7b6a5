#include "productlist/Catalogue.h"

namespace ProductList {

namespace {

// The product family's list. Every text is a JSON string; a location key may
// carry a "32" or "64" suffix to differ by the bitness of Windows.
const char familyList[] = R"LIST(( {
  "Applications": [
    {
      "ProductCode": "QXPDF",
      "MinimumSupportedVersion": "7.0.0.0",
      "Vendor": "Vellix",
      "ProductName": "Vellix PDF Pro",
      "ProgramDataPath": "%ProgramData%\\Vellix\\PDF Pro",
      "UninstallLocation": {
        "UninstallKeyName": "Vellix PDF Pro",
        "MainExecutable": "VellixPDF.exe"
      }
    },
    {
      "ProductCode": "NQ",
      "MinimumSupportedVersion": "3.2.0.0",
      "Vendor": "Vellix",
      "ProductName": "Kestrel Tune",
      "ProgramDataPath": "%ProgramData%\\Vellix\\Kestrel Tune",
      "MainDirLocation": {
        "MainDirKeyName": "SOFTWARE\\Vellix\\Kestrel Tune",
        "MainDirValueName": "InstallDir",
        "MainExecutable": "KestrelTune.exe",
        "ProductIDKeyName": "SOFTWARE\\Vellix\\Kestrel Tune",
        "ProductIDValueName": "ProductID"
      }
    },
    {
      "ProductCode": "BL",
      "MinimumSupportedVersion": "5.0.0.0",
      "Vendor": "Vellix",
      "ProductName": "Mavrin Security",
      "ProgramDataPath": "%ProgramData%\\Vellix\\Mavrin Security",
      "UninstallLocation": {
        "UninstallKeyName": "Mavrin Security_is1",
        "MainExecutable": "MavrinSecurity.exe"
      }
    },
    {
      "ProductCode": "QXYB",
      "MinimumSupportedVersion": "2.1.0",
      "Vendor": "Vellix",
      "ProductName": "Halbrook Backup",
      "ProgramDataPath": "%ProgramData%\\Vellix\\Halbrook Backup",
      "PathLocation": {
        "Path": "HalbrookBackup.exe"
      }
    },
    {
      "ProductCode": "TRM",
      "MinimumSupportedVersion": "1.8.0.0",
      "Vendor": "Vellix",
      "ProductName": "Zelmora PC Optimizer",
      "ProgramDataPath": "%ProgramData%\\Zelmora",
      "PathLocation": {
        "Path32": "Zelmora.exe",
        "Path64": "Zelmora64.exe"
      }
    },
    {
      "ProductCode": "QXRD",
      "MinimumSupportedVersion": "4.0.0.0",
      "Vendor": "Vellix",
      "ProductName": "Vellix PDF Reader",
      "ProgramDataPath": "%ProgramData%\\Vellix\\PDF Reader",
      "UninstallLocation": {
        "UninstallKeyName": "Vellix PDF Reader",
        "MainExecutable": "VellixReader.exe"
      }
    },
    {
      "ProductCode": "QXCV",
      "MinimumSupportedVersion": "2.0.0.0",
      "Vendor": "Vellix",
      "ProductName": "Vellix PDF Converter",
      "ProgramDataPath": "%ProgramData%\\Vellix\\PDF Converter",
      "UninstallLocation": {
        "UninstallKeyName": "{6F1D2C4A-8B3E-4F7A-9C21-5D0E7B3A9F14}_is1",
        "MainExecutable": "VellixConverter.exe"
      }
    },
    {
      "ProductCode": "VXSC",
      "Vendor": "Vellix",
      "ProductName": "Vellix Screen Capture",
      "ProgramDataPath": "%ProgramData%\\Vellix\\Screen Capture",
      "MainDirLocation": {
        "MainDirKeyName": "SOFTWARE\\Vellix\\Screen Capture",
        "MainDirValueName": "Path",
        "MainExecutable": "ScreenCapture.exe"
      }
    },
    {
      "ProductCode": "VXDM",
      "MinimumSupportedVersion": "1.0.0.0",
      "Vendor": "Vellix",
      "ProductName": "Vellix Download Manager",
      "ProgramDataPath": "",
      "PathLocation": {
        "Path": "VellixDM.exe"
      }
    }
  ]
} ))LIST";

} // namespace

const std::map<std::string, std::string>& BuiltInCatalogue()
{
    static const std::map<std::string, std::string> lists = {{"", familyList}};
    return lists;
}

} // namespace ProductList
