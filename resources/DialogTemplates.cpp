// The program's three dialog templates, in dialog units of MS Shell Dlg 8.
#include "platform/window/DialogTemplate.h"
#include "platform/window/WinUser.h"
#include "resources/resource.h"

namespace {

const char* const kCaption = "Aldemar Zubeh\xf6r Update Manager";
const DWORD kShown = WS_VISIBLE;

zq::DialogTemplate WizardTemplate()
{
    zq::DialogTemplate t;
    t.id = IDD_UPDATEMANAGER_DIALOG;
    t.style = DS_SHELLFONT | DS_MODALFRAME | DS_SETFOREGROUND | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU |
              WS_MINIMIZEBOX;
    t.exStyle = WS_EX_APPWINDOW;
    t.x = 0;
    t.y = 0;
    t.cx = 433;
    t.cy = 302;
    t.caption = kCaption;
    t.fontName = "MS Shell Dlg";
    t.pointSize = 8;
    t.items = {
        {IDC_INFO, WC_BUTTON, "Info", BS_PUSHBUTTON | BS_FLAT | WS_DISABLED, 0, 361, 43, 59, 15},
        {IDC_BACK, WC_BUTTON, "Back", BS_PUSHBUTTON | BS_VCENTER | WS_TABSTOP | kShown, 0, 238, 282, 90, 16},
        {IDC_NEXT, WC_BUTTON, "Next", BS_PUSHBUTTON | BS_VCENTER | WS_TABSTOP | kShown, 0, 330, 282, 90, 16},
        {IDC_EXIT, WC_BUTTON, "Exit", BS_PUSHBUTTON | BS_FLAT, 0, 361, 11, 59, 15},
        {IDC_SETUP, WC_BUTTON, "Setup", BS_PUSHBUTTON | BS_FLAT | BS_NOTIFY, 0, 361, 27, 59, 15},
        {IDC_BROWSE, WC_BUTTON, "Browse", BS_PUSHBUTTON | kShown, 0, 146, 282, 90, 16},
        {IDC_COMPORT_COMBO, WC_COMBOBOX, "", CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP | kShown, 0, 132, 220,
         129, 49},
        {IDC_LANG_ENGLISH, WC_BUTTON, "", BS_PUSHBUTTON | WS_TABSTOP | kShown, 0, 39, 282, 26, 16},
        {IDC_LANG_GERMAN, WC_BUTTON, "", BS_PUSHBUTTON | WS_TABSTOP | kShown, 0, 10, 282, 25, 16},
    };
    return t;
}

zq::DialogTemplate SettingsTemplate()
{
    zq::DialogTemplate t;
    t.id = IDD_INTERFACE_SETTINGS;
    t.style = DS_SHELLFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    t.exStyle = 0;
    t.x = 0;
    t.y = 0;
    t.cx = 325;
    t.cy = 116;
    t.caption = kCaption;
    t.fontName = "MS Shell Dlg";
    t.pointSize = 8;
    t.items = {
        {IDC_LANGUAGE_LABEL, WC_STATIC, "Please select language to change", SS_LEFT | kShown, 0, 41, 19, 141, 12},
        {IDC_LANGUAGE_COMBO, WC_COMBOBOX, "", CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP | kShown, 0, 209, 17,
         109, 61},
        {IDC_FORCE_UPDATE, WC_BUTTON, "Force Update (avoid change software version)",
         BS_AUTOCHECKBOX | WS_TABSTOP | kShown, 0, 41, 41, 167, 10},
        {IDOK, WC_BUTTON, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP | kShown, 0, 213, 94, 50, 14},
        {IDCANCEL, WC_BUTTON, "Cancel", BS_PUSHBUTTON | WS_TABSTOP | kShown, 0, 268, 94, 50, 14},
    };
    return t;
}

zq::DialogTemplate AboutTemplate()
{
    zq::DialogTemplate t;
    t.id = IDD_ABOUTBOX;
    t.style = DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    t.exStyle = 0;
    t.x = 0;
    t.y = 0;
    t.cx = 293;
    t.cy = 126;
    t.caption = "About ZQ_Update_Manager";
    t.fontName = "MS Shell Dlg";
    t.pointSize = 8;
    // "#128" names the icon resource IDR_MAINFRAME.
    t.items = {
        {IDC_STATIC, WC_STATIC, "#128", SS_ICON | kShown, 0, 11, 17, 20, 20},
        {IDC_STATIC, WC_STATIC, "ZQ Update Manager", SS_LEFT | kShown, 0, 40, 10, 200, 8},
        {IDC_STATIC, WC_STATIC, "Version 1.0.0.7", SS_LEFT | kShown, 0, 40, 21, 200, 8},
        {IDC_STATIC, WC_STATIC, "Firmware update for hands-free car kits", SS_LEFT | kShown, 0, 40, 32, 200, 8},
        {IDC_STATIC, WC_STATIC, "over a serial port", SS_LEFT | kShown, 0, 40, 43, 200, 8},
        {IDC_STATIC, WC_STATIC, "Aldemar Zubeh\xf6r", SS_LEFT | kShown, 0, 40, 58, 200, 8},
        {IDC_STATIC, WC_STATIC, "Copyright (C) 2026", SS_LEFT | kShown, 0, 40, 69, 200, 8},
        {IDC_STATIC, WC_STATIC, "All rights reserved.", SS_LEFT | kShown, 0, 40, 80, 200, 8},
        {IDC_STATIC, WC_STATIC, "Web:", SS_LEFT | kShown, 0, 40, 97, 30, 8},
        {IDC_STATIC, WC_STATIC, "www.aldemar-zubehoer.example", SS_LEFT | kShown, 0, 74, 108, 160, 8},
        {IDOK, WC_BUTTON, "OK", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP | kShown, 0, 236, 7, 50, 16},
    };
    return t;
}

struct Registrar {
    Registrar()
    {
        zq::RegisterDialogTemplate(WizardTemplate());
        zq::RegisterDialogTemplate(SettingsTemplate());
        zq::RegisterDialogTemplate(AboutTemplate());
    }
} registrar;

}  // namespace
