// The operations every window object shares: thin wrappers that take the object's window handle
// and make one or two system calls. Texts are program text (code page 936) or UTF-16.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/dialog_window.h"
#include "ui/window_record.h"

class WindowObject;

constexpr int kKeepValue = INT32_MIN;  // for Move: take the current value

// Control border kinds, applied to a style pair by CreateChildControl and the Border setter.
void applyControlBorder(int kind, DWORD& style, DWORD& exStyle);
// Stores the kind as the window's property::Border and applies it to the live window at once; answers
// the kind it held before.
int setControlBorder(WindowRecord* record, int kind);

// The framework's own window classes send every message to the record from WM_NCCREATE on.
LRESULT CALLBACK frameworkClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Registers a framework window class of that name (a second registration simply fails).
void registerFrameworkClass(const wchar_t* name);

// The common interface of every window object (WindowObject derives from it).
class WindowOperations {
public:
    virtual ~WindowOperations() = default;

    bool CreateControl(HWND parent, std::string_view title, POINT position, SIZE size, int id, DWORD style, DWORD exStyle,
                       const wchar_t* className);
    bool CreateChildControl(HWND parent, std::string_view title, POINT position, SIZE size, const wchar_t* className,
                            DWORD style = 0, DWORD exStyle = 0, int id = 0);
    bool CreateDialogWindow(const DialogOptions& options);
    intptr_t ShowDialogWindow(const DialogOptions& options);
    bool CreateMDIChild(HWND client, std::string_view title, POINT position, SIZE size, DWORD style, const wchar_t* className);
    // A dialog from a template in the program's resources; a class name given is registered
    // first as a copy of the system dialog class.
    HWND CreateDialogFromTemplate(HWND parent, const wchar_t* templateName, std::wstring_view className = {});
    intptr_t ShowDialogFromTemplate(HWND parent, const wchar_t* templateName, std::wstring_view className = {});

    intptr_t StyleBitsAdd(intptr_t bits);
    intptr_t StyleBitsRemove(intptr_t bits);
    intptr_t StyleBitsGet() const { return properties() ? properties()->get(property::Style) : 0; }
    intptr_t StyleBitsSet(intptr_t bits);

    bool Show(int command = SW_SHOW) { return ShowWindow(handle(), command); }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return SendMessageW(handle(), message, wParam, lParam); }
    bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return PostMessageW(handle(), message, wParam, lParam); }
    void CaptureMouse() { SetCapture(handle()); }
    void ReleaseMouse() { ReleaseCapture(); }
    std::wstring GetClassName() const;
    void SetCursor(HCURSOR cursor);
    bool IsWindow() const { return ::IsWindow(handle()); }
    void Close() { SendMessageW(handle(), WM_CLOSE, 0, 0); }
    void SetFocus() { ::SetFocus(handle()); }
    bool HasFocus() const { return GetFocus() == handle() && handle(); }
    RECT GetClientRect() const;
    int GetClientWidth() const;
    int GetClientHeight() const;
    // The window rectangle in the parent's client coordinates.
    RECT GetRect() const;
    void SuspendRedraw() { SendMessageW(handle(), WM_SETREDRAW, 0, 0); }
    void ResumeRedraw() { SendMessageW(handle(), WM_SETREDRAW, 1, 0); }
    void Invalidate(bool erase = true) { InvalidateRect(handle(), nullptr, erase); }
    void InvalidateRectangle(const RECT& rect, bool erase) { InvalidateRect(handle(), &rect, erase); }
    void Validate() { ValidateRect(handle(), nullptr); }
    void Update() { UpdateWindow(handle()); }
    // kKeepValue keeps the current value of that side.
    bool Move(int x = kKeepValue, int y = kKeepValue, int width = kKeepValue, int height = kKeepValue, bool repaint = true);
    POINT GetPosition() const;
    bool SetPosition(POINT position) { return Move(position.x, position.y); }
    SIZE GetSize() const;
    bool SetSize(int width, int height, bool repaint = true) { return Move(kKeepValue, kKeepValue, width, height, repaint); }
    bool SetLeft(int value, bool repaint = true) { return Move(value, kKeepValue, kKeepValue, kKeepValue, repaint); }
    bool SetTop(int value, bool repaint = true) { return Move(kKeepValue, value, kKeepValue, kKeepValue, repaint); }
    bool SetWidth(int value, bool repaint = true) { return Move(kKeepValue, kKeepValue, value, kKeepValue, repaint); }
    bool SetHeight(int value, bool repaint = true) { return Move(kKeepValue, kKeepValue, kKeepValue, value, repaint); }
    HWND SetParent(HWND parent) { return ::SetParent(handle(), parent); }
    HWND GetParent() const { return ::GetParent(handle()); }
    bool Visible(bool visible = false, bool apply = false);
    bool Disabled(bool disabled = false, bool apply = false);
    LONG_PTR GetStyle() const { return GetWindowLongPtrW(handle(), GWL_STYLE); }
    LONG_PTR SetStyle(LONG_PTR bits) { return writeLong(GWL_STYLE, bits); }
    LONG_PTR AddStyle(LONG_PTR bits) { return writeLong(GWL_STYLE, GetStyle() | bits); }
    LONG_PTR RemoveStyle(LONG_PTR bits) { return writeLong(GWL_STYLE, GetStyle() & ~bits); }
    // The control border kind (applyControlBorder): kept for CreateChildControl and, on a live
    // control, applied to both styles at once with the frame redrawn.
    int Border() const { return properties() ? static_cast<int>(properties()->get(property::Border)) : 0; }
    void SetBorder(int kind);
    LONG_PTR GetExStyle() const { return GetWindowLongPtrW(handle(), GWL_EXSTYLE); }
    LONG_PTR SetExStyle(LONG_PTR bits) { return writeLong(GWL_EXSTYLE, bits); }
    LONG_PTR AddExStyle(LONG_PTR bits) { return writeLong(GWL_EXSTYLE, GetExStyle() | bits); }
    LONG_PTR RemoveExStyle(LONG_PTR bits) { return writeLong(GWL_EXSTYLE, GetExStyle() & ~bits); }
    int GetTextLength() const { return GetWindowTextLengthW(handle()); }
    std::wstring GetTextW() const;
    std::string GetText() const;
    bool SetText(std::string_view text);
    bool SetTextW(std::wstring_view text);
    // Caption "信息：" when none is given.
    int MessageBox(std::string_view text, UINT type = MB_OK, std::string_view caption = "信息：");
    // Takes ownership of the font: the window deletes it when replaced or destroyed.
    void SetFont(HFONT font);
    HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessageW(handle(), WM_GETFONT, 0, 0)); }
    void AcceptFiles(bool accept);
    bool StartTimer(UINT intervalMs, UINT_PTR id = 1) { return SetTimer(handle(), id, intervalMs, nullptr) != 0; }
    bool StopTimer(UINT_PTR id = 1) { return KillTimer(handle(), id); }
    // Takes a reference on the layout object and lets it place the window's children now.
    bool SetLayout(WindowObject& layout);
    LRESULT DefaultProcessing(UINT message, WPARAM wParam, LPARAM lParam);
    bool SetWindowProp(std::string_view name, HANDLE value);
    HANDLE GetWindowProp(std::string_view name) const;
    HANDLE RemoveWindowProp(std::string_view name);
    bool SetWindowPropW(std::wstring_view name, HANDLE value) { return SetPropW(handle(), std::wstring(name).c_str(), value); }
    HANDLE GetWindowPropW(std::wstring_view name) const { return GetPropW(handle(), std::wstring(name).c_str()); }
    HANDLE RemoveWindowPropW(std::wstring_view name) { return RemovePropW(handle(), std::wstring(name).c_str()); }
    // Every entry of the system property list whose name is a text, in the order the system gives.
    std::vector<std::pair<std::wstring, HANDLE>> EnumWindowPropsW() const;
    std::vector<std::pair<std::string, HANDLE>> EnumWindowProps() const;
    // The UTF-16 and program-text twins of the text operations above.
    std::string GetClassNameA() const;
    int MessageBoxW(std::wstring_view text, UINT type = MB_OK, std::wstring_view caption = L"信息：");
    bool CreateControlW(HWND parent, std::wstring_view title, POINT position, SIZE size, int id, DWORD style, DWORD exStyle,
                        const wchar_t* className);

protected:
    virtual WindowRecord* record() const = 0;
    HWND handle() const { return record() ? record()->handle() : nullptr; }
    PropertyTable* properties() const { return record() ? &record()->properties : nullptr; }

private:
    LONG_PTR writeLong(int index, LONG_PTR bits);
};
