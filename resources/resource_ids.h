// The program's resource identifiers, shared by the resource scripts and the code. Plain
// #defines: windres reads this file too.
#pragma once

#define SAVER_ICON 1
// What the saver window's class asks for. No icon has this number, so the class has none, as it
// always has had.
#define SAVER_CLASS_ICON 100

#define CREDIT_STRING 1  // the credit line drawn under the logo
// The browse for the picture folder: its file dialog's filter name and title, and the caption of
// the box that reports a failed file dialog.
#define BROWSE_FILTER_STRING 2
#define BROWSE_TITLE_STRING 3
#define BROWSE_ERROR_STRING 4
#define LOGO_JPEG 112  // the logo, a resource of type JPEG

// The configuration dialog's template, its banner bitmap and its controls.
#define CONFIGURATION_DIALOG 2003
#define CONFIGURATION_BANNER 122

#define IDC_OK_BUTTON 20
#define IDC_CANCEL_BUTTON 30
#define IDC_INTERVAL_GROUP 101
#define IDC_DIRECTORY_FIELD 1003
#define IDC_BROWSE_BUTTON 1004
#define IDC_INTERVAL_SLIDER 1008
#define IDC_SUBFOLDERS_CHECK 1010
#define IDC_SHUFFLE_CHECK 1011
#define IDC_CAPTIONS_CHECK 1012
#define IDC_FADE_CHECK 1013
#define IDC_BACKDROP_CHECK 1014
#define IDC_EVERY_MONITOR_CHECK 1015
