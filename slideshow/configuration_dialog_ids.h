// Identifiers of template 2003, shared by the resource script and the dialog procedure. Plain
// #defines: the resource compiler reads this file too.
#pragma once

#define CONFIGURATION_DIALOG 2003
#define CONFIGURATION_BANNER 122

#define IDC_OK_BUTTON 20
#define IDC_CANCEL_BUTTON 30
#define IDC_INTERVAL_GROUP 101
#define IDC_DIRECTORY_FIELD 1003
#define IDC_BROWSE_BUTTON 1004
#define IDC_INTERVAL_SLIDER 1008
