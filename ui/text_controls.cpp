#include "ui/text_controls.h"

#include "ui/themed_page.h"
#include "ui/top_level_window.h"

namespace {

// The brush the control's background is painted with; the control owns it.
constexpr OwnedHandle<UniqueBrush> kBackBrush("BackBrush");

void textControlCleanUp(WindowRecord* record)
{
    if (kBackBrush.get(record->properties)) kBackBrush.release(record->properties);
}

// The button reference a root window keeps (its default or cancel button).
void setRootButton(WindowObject& button, const RecordReference& reference, bool on)
{
    const HWND root = GetAncestor(button.GetHandle(), GA_ROOT);
    WindowRecord* rootRecord = root ? handle_map::find(root) : nullptr;
    if (!rootRecord) return;
    if (on) {
        reference.set(rootRecord->properties, button.Record());
    } else if (reference.get(rootRecord->properties) == button.Record()) {
        reference.release(rootRecord->properties);
    }
}

void centreEditText(HWND edit)
{
    RECT client{};
    GetClientRect(edit, &client);
    TEXTMETRICW metrics{};
    {
        const UniqueWindowDc dc(edit);
        const SelectedObject font(dc.get(), reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)));
        GetTextMetricsW(dc.get(), &metrics);
    }
    const int lineHeight = metrics.tmHeight;
    RECT format = client;
    format.left = 1;
    format.right -= 1;
    format.top = (client.bottom - lineHeight) / 2;
    format.bottom = format.top + lineHeight;
    SendMessageW(edit, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&format));
}

} // namespace

intptr_t textControlReflected(WindowRecord* record, HWND, UINT message, WPARAM wParam, LPARAM lParam, int* handled)
{
    const auto control = static_cast<intptr_t>(lParam);
    if (message == WM_COMMAND) {
        if (HIWORD(wParam) == EN_CHANGE) {
            raiseEvent(record, "OnTextChange", nullptr, control, static_cast<int16_t>(LOWORD(wParam)));
            return 0;
        }
        if (HIWORD(wParam) == 0) {
            bool bound = false;
            raiseEvent(record, "OnClick", &bound, control, static_cast<int16_t>(LOWORD(wParam)));
            if (bound) *handled = 1;
        }
        return 0;
    }
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, static_cast<COLORREF>(record->properties.get(property::TextColor)));
        const auto brush = reinterpret_cast<intptr_t>(kBackBrush.get(record->properties));
        // A label of no colour of its own shows the page behind it.
        if (!brush && message == WM_CTLCOLORSTATIC && drawOverParentBackground(reinterpret_cast<HWND>(lParam), dc)) {
            *handled = 1;
            return reinterpret_cast<intptr_t>(GetStockObject(NULL_BRUSH));
        }
        if (!brush) return 0;
        const intptr_t background = record->properties.get(property::BackColor);
        if (background == -1) {
            SetBkMode(dc, TRANSPARENT);
        } else {
            SetBkColor(dc, static_cast<COLORREF>(background));
        }
        *handled = 1;
        return brush;
    }
    return 0;
}

intptr_t editHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled)
{
    const bool wantsReturn = GetWindowLongPtrW(window, GWL_STYLE) & ES_WANTRETURN;
    const intptr_t bits = record->properties.get(property::Style);
    if (message == WM_KEYDOWN && wParam == VK_TAB && !wantsReturn && !(bits & 1)) {
        const HWND root = GetAncestor(window, GA_ROOT);
        if (const HWND next = GetNextDlgTabItem(root, window, FALSE)) SetFocus(next);
        *handled = 1;
        return 0;
    }
    if (message == WM_KEYDOWN && wParam == VK_RETURN && !wantsReturn && !(bits & 2)) {
        SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
        *handled = 1;
        return 0;
    }
    if (message == WM_SIZE && record->properties.has(property::VerticalCenter)) {
        const auto oldProc = reinterpret_cast<WNDPROC>(record->properties.get(property::OldWndProc));
        const LRESULT result = oldProc ? CallWindowProcW(oldProc, window, message, wParam, lParam) : 0;
        centreEditText(window);
        *handled = 1;
        return result;
    }
    return windowBaseHandleMessage(record, window, message, wParam, lParam, handled);
}

TextControl::TextControl()
{
    if (!record_) return;
    record_->slots.handleReflected = textControlReflected;
    record_->slots.onFinalRelease = finalReleaseAfter<textControlCleanUp>;
}

void TextControl::SetBackBrush(HBRUSH brush)
{
    UniqueBrush owned(brush);  // the control's from here on, kept or not
    if (record_) kBackBrush.reset(record_->properties, std::move(owned));
    Invalidate();
}

bool Button::Create(HWND parent, std::string_view text, POINT position, SIZE size, int id, DWORD style)
{
    return CreateChildControl(parent, text, position, size, L"Button", style | WS_TABSTOP, 0, id);
}

void Button::SetDefault(bool on)
{
    setRootButton(*this, kDefaultButton, on);
    // Only push buttons have a default look. The button type is a number, not a set of bits:
    // BS_DEFPUSHBUTTON added to a check box or radio button would make it another kind of button.
    const LONG_PTR style = GetStyle();
    const LONG_PTR type = style & BS_TYPEMASK;
    if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) return;
    const LONG_PTR wanted = (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | (on ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    // BM_SETSTYLE, not a bare style write, so that the button repaints with its new frame.
    Send(BM_SETSTYLE, static_cast<WPARAM>(wanted & 0xFFFF), TRUE);
}

void Button::SetCancel(bool on) { setRootButton(*this, kCancelButton, on); }

bool Label::Create(HWND parent, std::string_view text, POINT position, SIZE size, DWORD style, int id)
{
    return CreateChildControl(parent, text, position, size, L"Static", style | SS_NOTIFY, 0, id);
}

Edit::Edit()
{
    if (record_) record_->slots.handleMessage = editHandleMessage;
}

bool Edit::Create(HWND parent, std::string_view text, POINT position, SIZE size, DWORD style, int id)
{
    return CreateChildControl(parent, text, position, size, L"Edit", style | WS_TABSTOP, WS_EX_CLIENTEDGE, id);
}

void Edit::SetVerticalCentre(bool on)
{
    if (on) {
        SetProperty(property::VerticalCenter, 1);
        centreEditText(GetHandle());
    } else {
        RemoveProperty(property::VerticalCenter);
    }
}

COLORREF TextControl::TextColor(COLORREF color, bool apply)
{
    const auto previous = static_cast<COLORREF>(GetProperty(property::TextColor));
    if (apply) SetTextColor(color);
    return previous;
}

intptr_t TextControl::BackColor(intptr_t color, bool apply)
{
    const intptr_t previous = GetProperty(property::BackColor);
    if (apply) SetBackColor(color);
    return previous;
}
