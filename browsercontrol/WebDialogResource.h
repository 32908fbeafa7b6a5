#pragma once

// The template of every web dialog; WebDialog.rc holds it, and each program that shows a
// web dialog links kv_browsercontrol_resources.
#define IDD_WEBDIALOG 15001
