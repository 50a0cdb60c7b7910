// Windows made by the dialog manager from a template built in memory or taken from the program's
// resources, driven by the framework's dialog procedure.
#pragma once

#include <string>
#include <string_view>

#include "ui/window_record.h"

// The dialog procedure of framework dialogs: binds the record at WM_INITDIALOG, gives every
// message to it, and closes (modeless) or ends the dialog with its DialogResult (modal).
INT_PTR CALLBACK frameworkDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK frameworkModalDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct DialogOptions {
    HWND parent = nullptr;
    std::string title;
    POINT position{0, 0};  // dialog units
    SIZE size{200, 120};   // dialog units
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    DWORD exStyle = 0;
    std::wstring className;  // empty: the system dialog class
};

HWND createDialogWindow(WindowRecord* record, const DialogOptions& options);
intptr_t showDialogWindow(WindowRecord* record, const DialogOptions& options);
// A class name given is registered first as a copy of the system dialog class, for templates
// that name it.
HWND createDialogFromTemplate(WindowRecord* record, HWND parent, const wchar_t* templateName, const std::wstring& className = {});
intptr_t showDialogFromTemplate(WindowRecord* record, HWND parent, const wchar_t* templateName,
                                const std::wstring& className = {});
