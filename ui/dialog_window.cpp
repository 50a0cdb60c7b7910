#include "ui/dialog_window.h"
#include "ui/application.h"

#include <vector>

#include "text/encoding.h"

namespace {

// Copies the system dialog class under another name, once.
void registerDialogClass(const std::wstring& name)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExW(Application::Instance(), name.c_str(), &windowClass)) return;
    if (!GetClassInfoExW(nullptr, L"#32770", &windowClass)) return;
    windowClass.cbSize = sizeof windowClass;
    windowClass.hInstance = Application::Instance();
    windowClass.lpszClassName = name.c_str();
    RegisterClassExW(&windowClass);
}

void appendText(std::vector<WORD>& words, const std::wstring& text)
{
    for (const wchar_t unit : text) words.push_back(static_cast<WORD>(unit));
    words.push_back(0);
}

// Header, no menu, the class (or the default), the title; no controls.
std::vector<WORD> buildTemplate(const DialogOptions& options)
{
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 1, 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
    header->style = options.style;
    header->dwExtendedStyle = options.exStyle;
    header->cdit = 0;
    header->x = static_cast<short>(options.position.x);
    header->y = static_cast<short>(options.position.y);
    header->cx = static_cast<short>(options.size.cx);
    header->cy = static_cast<short>(options.size.cy);
    words.resize(sizeof(DLGTEMPLATE) / sizeof(WORD));
    words.push_back(0);  // no menu
    if (options.className.empty()) {
        words.push_back(0);
    } else {
        registerDialogClass(options.className);
        appendText(words, options.className);
    }
    appendText(words, toUtf16(options.title));
    return words;
}

// Messages whose answer the dialog manager takes from the dialog procedure's own return value
// (a brush, a comparison, an item index, an icon, the focus choice); for every other message it
// reads DWLP_MSGRESULT and the return value only says "handled".
bool answeredByReturnValue(UINT message)
{
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) return true;
    switch (message) {
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG: return true;
    default: return false;
    }
}

INT_PTR dialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool modal)
{
    if (message == WM_INITDIALOG) {
        if (auto* record = reinterpret_cast<WindowRecord*>(lParam)) {
            SetClassLongPtrW(window, GCL_STYLE, GetClassLongPtrW(window, GCL_STYLE) | CS_HREDRAW | CS_VREDRAW);
            record->properties.set(property::Window, reinterpret_cast<intptr_t>(window));
            handle_map::add(window, record);
        }
    }
    if (WindowRecord* record = handle_map::find(window)) {
        record->addRef();
        int handled = 0;
        const intptr_t result = record->slots.handleMessage(record, window, message, wParam, lParam, &handled);
        const intptr_t dialogResult = record->properties.get(property::DialogResult);
        record->release();
        if (handled) {
            if (answeredByReturnValue(message)) return result;
            SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            return TRUE;
        }
        if (message == WM_CLOSE) {
            if (modal) {
                EndDialog(window, dialogResult);
            } else {
                DestroyWindow(window);
            }
            return TRUE;
        }
        return message == WM_INITDIALOG ? TRUE : FALSE;
    }
    if (message == WM_CLOSE) {
        if (modal) {
            EndDialog(window, 0);
        } else {
            DestroyWindow(window);
        }
        return TRUE;
    }
    return FALSE;
}

} // namespace

INT_PTR CALLBACK frameworkDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return dialogMessage(window, message, wParam, lParam, false);
}

INT_PTR CALLBACK frameworkModalDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return dialogMessage(window, message, wParam, lParam, true);
}

HWND createDialogWindow(WindowRecord* record, const DialogOptions& options)
{
    if (!record || record->handle()) return nullptr;
    const std::vector<WORD> words = buildTemplate(options);
    return CreateDialogIndirectParamW(Application::Instance(), reinterpret_cast<const DLGTEMPLATE*>(words.data()),
                                      options.parent, frameworkDialogProc, reinterpret_cast<LPARAM>(record));
}

intptr_t showDialogWindow(WindowRecord* record, const DialogOptions& options)
{
    if (!record || record->handle()) return 0;
    const std::vector<WORD> words = buildTemplate(options);
    return DialogBoxIndirectParamW(Application::Instance(), reinterpret_cast<const DLGTEMPLATE*>(words.data()),
                                   options.parent, frameworkModalDialogProc, reinterpret_cast<LPARAM>(record));
}

HWND createDialogFromTemplate(WindowRecord* record, HWND parent, const wchar_t* templateName, const std::wstring& className)
{
    if (!record || record->handle()) return nullptr;
    if (!className.empty()) registerDialogClass(className);
    return CreateDialogParamW(Application::Instance(), templateName, parent, frameworkDialogProc, reinterpret_cast<LPARAM>(record));
}

intptr_t showDialogFromTemplate(WindowRecord* record, HWND parent, const wchar_t* templateName, const std::wstring& className)
{
    if (!record || record->handle()) return 0;
    if (!className.empty()) registerDialogClass(className);
    return DialogBoxParamW(Application::Instance(), templateName, parent, frameworkModalDialogProc, reinterpret_cast<LPARAM>(record));
}
