#include "ui/picture_box.h"

#include <atomic>
#include <memory>
#include <type_traits>

#include "tasks/unique_handle.h"
#include "ui/gdiplus_include.h"
#include "ui/window_background.h"
#include "ui/window_calls.h"

using namespace Gdiplus::DllExports;

namespace {

const char* kTimeDimension = "{6AEDBD6D-3FB5-418A-83A6-7F45229DC872}";
constexpr PROPID kFrameDelayTag = 0x5100;

// What the player thread and the GUI thread share about an animation. The window's property
// table is no place for it: the table is not safe to read from another thread.
struct PlayState {
    PlayState() { InitializeCriticalSection(&lock); }
    ~PlayState() { DeleteCriticalSection(&lock); }
    PlayState(const PlayState&) = delete;
    PlayState& operator=(const PlayState&) = delete;

    CRITICAL_SECTION lock;
    UniqueHandle event;  // manual reset: signalled = play
    HWND window = nullptr;
    std::vector<uint32_t> delays;  // hundredths of a second, frame by frame
    int frameCount = 0;
    int index = 0;
    bool playerRunning = false;
    std::atomic<LONG> closing = 0;  // set once by the GUI thread when the window goes
};

using SharedPlayState = std::shared_ptr<PlayState>;

SharedPlayState* stateSlot(WindowRecord* record)
{
    return reinterpret_cast<SharedPlayState*>(record->properties.get(property::PlayState));
}

SharedPlayState stateOf(WindowRecord* record, bool create)
{
    if (SharedPlayState* slot = stateSlot(record)) return *slot;
    if (!create) return nullptr;
    auto* slot = new SharedPlayState(std::make_shared<PlayState>());
    (*slot)->window = record->handle();
    record->properties.set(property::PlayState, reinterpret_cast<intptr_t>(slot));
    return *slot;
}

DWORD WINAPI playerThread(void* parameter)
{
    // The thread owns one share of the state, so it outlives the control if need be.
    std::unique_ptr<SharedPlayState> held(static_cast<SharedPlayState*>(parameter));
    PlayState& state = **held;
    for (;;) {
        if (state.closing || !IsWindow(state.window)) break;
        if (IsIconic(state.window) || !(GetWindowLongPtrW(state.window, GWL_STYLE) & WS_VISIBLE)) {
            Sleep(100);
            continue;
        }
        if (WaitForSingleObject(state.event.get(), INFINITE) != WAIT_OBJECT_0) continue;
        if (state.closing) break;

        EnterCriticalSection(&state.lock);
        if (state.frameCount <= 1) {
            // Nothing to play (a still picture replaced the animation): wait for the next one.
            // Reset under the lock, so a new animation's signal, given after it stored its
            // frames, is never lost.
            ResetEvent(state.event.get());
            LeaveCriticalSection(&state.lock);
            continue;
        }
        int index = state.index < state.frameCount ? state.index : 0;
        const bool hasDelay = index < static_cast<int>(state.delays.size());
        const uint32_t delay = hasDelay ? state.delays[static_cast<size_t>(index)] : 0;
        LeaveCriticalSection(&state.lock);

        DWORD_PTR answer = 1;
        if (!SendMessageTimeoutW(state.window, kShowFrameMessage, static_cast<WPARAM>(index), 0, SMTO_NORMAL, 5000, &answer)) answer = 1;
        if (answer != 0) {
            // A later frame that fails starts over at once; the first frame failing would
            // start over forever, so it waits a frame's time first.
            if (index == 0) Sleep(88);
            index = 0;
        } else {
            Sleep(hasDelay ? (delay ? delay : 8) * 11 : 88);
            ++index;
        }
        EnterCriticalSection(&state.lock);
        state.index = index;
        LeaveCriticalSection(&state.lock);
    }
    EnterCriticalSection(&state.lock);
    state.playerRunning = false;
    LeaveCriticalSection(&state.lock);
    return 0;
}

void startPlayback(WindowRecord* record, const ImageObject& image)
{
    auto* native = static_cast<Gdiplus::GpImage*>(image.GetNativeImage());
    GUID time{};
    guidFromText(kTimeDimension, time);
    UINT frames = 0;
    if (!native || GdipImageGetFrameCount(native, &time, &frames) != Gdiplus::Ok || frames <= 1) return;
    UINT size = 0;
    if (GdipGetPropertyItemSize(native, kFrameDelayTag, &size) != Gdiplus::Ok || size < sizeof(Gdiplus::PropertyItem)) return;
    std::vector<char> buffer(size);
    auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
    if (GdipGetPropertyItem(native, kFrameDelayTag, size, item) != Gdiplus::Ok) return;

    SharedPlayState state = stateOf(record, true);
    if (!state->event) state->event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!state->event) return;
    ResetEvent(state->event.get());
    EnterCriticalSection(&state->lock);
    const auto* values = static_cast<const uint32_t*>(item->value);
    state->delays.assign(values, values + item->length / 4);
    state->frameCount = static_cast<int>(frames);
    state->index = 0;
    state->window = record->handle();
    const bool startThread = !state->playerRunning;
    state->playerRunning = true;
    LeaveCriticalSection(&state->lock);
    if (record->properties.get(property::PlayGif)) SetEvent(state->event.get());
    if (startThread) {
        // The thread owns its reference from the start; without a thread it is given back here.
        auto reference = std::make_unique<SharedPlayState>(state);
        const UniqueHandle thread(CreateThread(nullptr, 0, playerThread, reference.get(), 0, nullptr));
        if (thread) {
            static_cast<void>(reference.release());
        } else {
            EnterCriticalSection(&state->lock);
            state->playerRunning = false;
            LeaveCriticalSection(&state->lock);
        }
    }
}

void pictureBoxCleanUp(WindowRecord* record)
{
    releaseBackground(record);
    if (SharedPlayState* slot = stateSlot(record)) {
        record->properties.remove(property::PlayState);
        // Wake a waiting player so that it sees the window is gone and ends.
        (*slot)->closing = 1;
        if ((*slot)->event) SetEvent((*slot)->event.get());
        delete slot;
    }
}

void showPicture(WindowRecord* record, const ImageObject& image)
{
    if (SharedPlayState state = stateOf(record, false)) {
        if (state->event) ResetEvent(state->event.get());
        // The frames of the picture shown before go with it; an animation stores its own below.
        EnterCriticalSection(&state->lock);
        state->delays.clear();
        state->frameCount = 0;
        state->index = 0;
        LeaveCriticalSection(&state->lock);
    }
    setBackgroundImage(record, &image);
    startPlayback(record, image);
    InvalidateRect(record->handle(), nullptr, TRUE);
}

// Carries an operation of another thread to the window's thread (lParam: its number in the
// table of window calls).
// Runs `call` on the thread of `window`, waiting for it when another thread asks: the control's
// properties and its picture belong to the window's thread. Without a window (destroyed or never
// made) only the thread that made the object may go on; another thread's call is dropped, with
// the result's default value.
template <typename Call>
auto onWindowThread(const WindowRecord* record, HWND window, Call call) -> decltype(call())
{
    using Result = decltype(call());
    const DWORD current = GetCurrentThreadId();
    const DWORD windowThread = window ? GetWindowThreadProcessId(window, nullptr) : 0;
    if (windowThread == current || (!windowThread && (!record || record->properties.ownerThread() == current))) return call();
    if constexpr (std::is_void_v<Result>) {
        (void)window_calls::send(window, kPictureCallMessage, call);
        return;
    } else {
        Result result{};
        (void)window_calls::send(window, kPictureCallMessage, [&] { result = call(); });
        return result;
    }
}

} // namespace

intptr_t pictureBoxHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled)
{
    if (message == kPictureCallMessage) {
        window_calls::serve(window, lParam);
        *handled = 1;
        return 0;
    }
    if (message == kShowFrameMessage) {
        const ImageObject* image = backgroundImage(record);
        GUID time{};
        guidFromText(kTimeDimension, time);
        const Gdiplus::GpStatus status =
            image ? GdipImageSelectActiveFrame(static_cast<Gdiplus::GpImage*>(image->GetNativeImage()), &time, static_cast<UINT>(wParam))
                  : Gdiplus::InvalidParameter;
        *handled = 1;
        if (status != Gdiplus::Ok) return status;
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    }
    if (message == WM_ERASEBKGND) {
        // With nothing to show the control is the dialog colour, not whatever the screen held.
        if (!paintBackground(record, window, reinterpret_cast<HDC>(wParam))) {
            RECT client{};
            GetClientRect(window, &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
        }
        *handled = 1;
        return 1;
    }
    if (message == WM_NCDESTROY) pictureBoxCleanUp(record);
    return windowBaseHandleMessage(record, window, message, wParam, lParam, handled);
}

PictureBox::PictureBox()
{
    if (!record_) return;
    record_->slots.handleMessage = pictureBoxHandleMessage;
    record_->slots.onFinalRelease = finalReleaseAfter<pictureBoxCleanUp>;
    SetProperty(property::ShowImageType, 3);
    SetProperty(property::PlayGif, 1);
}

bool PictureBox::Create(HWND parent, std::string_view text, POINT position, SIZE size, DWORD style)
{
    const bool created = CreateChildControl(parent, text, position, size, L"Static", style | SS_NOTIFY | SS_OWNERDRAW);
    window_ = GetHandle();
    return created;
}

bool PictureBox::Attach(HWND window)
{
    if (::IsWindow(window)) {
        SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) | SS_OWNERDRAW);
        SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    const bool attached = WindowObject::Attach(window);
    window_ = GetHandle();
    return attached;
}

ImageObject PictureBox::Image() const
{
    return onWindowThread(record_, window_, [this] {
        const ImageObject* image = record_ ? backgroundImage(record_) : nullptr;
        return image ? *image : ImageObject();
    });
}

void PictureBox::SetImage(const ImageObject& image)
{
    if (!record_) return;
    onWindowThread(record_, window_, [&] { showPicture(record_, image); });
}

std::string PictureBox::ImageData() const { return Image().SaveBytes(); }

bool PictureBox::SetImageData(std::string_view bytes)
{
    ImageObject image;
    const bool loaded = image.LoadBytes(bytes);
    SetImage(image);
    return loaded;
}

int PictureBox::ShowImageType(int kind, bool apply)
{
    return onWindowThread(record_, window_, [&] { return showImageTypeAccess(record_, kind, apply); });
}

void PictureBox::SetSmoothScaling(bool smooth)
{
    onWindowThread(record_, window_, [&] {
        if (!record_) return;
        record_->properties.set(property::SmoothScaling, smooth ? 1 : 0);
        InvalidateRect(record_->handle(), nullptr, TRUE);
    });
}

COLORREF PictureBox::BackColor(COLORREF color, bool apply)
{
    return onWindowThread(record_, window_, [&] { return backColorAccess(record_, color, apply); });
}

bool PictureBox::PlayGif(bool play, bool apply)
{
    return onWindowThread(record_, window_, [&] {
        if (!apply) return GetProperty(property::PlayGif) != 0;
        SetProperty(property::PlayGif, play ? 1 : 0);
        SharedPlayState state = record_ ? stateOf(record_, false) : nullptr;
        if (!state || !state->event) return true;
        if (!play) {
            ResetEvent(state->event.get());
            return true;
        }
        // A still picture has nothing to resume: the player is only woken for frames.
        EnterCriticalSection(&state->lock);
        if (state->frameCount > 1) SetEvent(state->event.get());
        LeaveCriticalSection(&state->lock);
        return true;
    });
}

PlayerView PictureBox::Player() const
{
    return onWindowThread(record_, window_, [this] {
        PlayerView view;
        SharedPlayState state = record_ ? stateOf(record_, false) : nullptr;
        if (!state) return view;
        EnterCriticalSection(&state->lock);
        view.index = state->index;
        view.frameCount = state->frameCount;
        view.delays = state->delays;
        view.running = state->playerRunning;
        LeaveCriticalSection(&state->lock);
        return view;
    });
}

bool PictureBox::Create(HWND parent, std::string_view text, POINT position, SIZE size, DWORD style, HFONT font)
{
    if (!Create(parent, text, position, size, style)) return false;
    if (font) Send(WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    return true;
}

bool PictureBox::AttachDialogItem(HWND dialog, int itemId, bool setFont)
{
    const HWND item = GetDlgItem(dialog, itemId);
    if (!item) return false;
    if (setFont) SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    return Attach(item);
}
