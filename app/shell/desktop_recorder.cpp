#include "app/shell/desktop_calls.h"

#ifdef PICLADE_DESKTOP_RECORDER

#include <string>

#include "tasks/unique_handle.h"
#include "text/encoding.h"

namespace {

const char* stateName(ButtonProgress state)
{
    switch (state) {
    case ButtonProgress::Normal: return "normal";
    case ButtonProgress::Paused: return "paused";
    case ButtonProgress::Error: return "error";
    case ButtonProgress::None: break;
    }
    return "none";
}

// Lines: "button", "state <name>", "value <done>/<total>", "awake on|off", "flash",
// "balloon <title>|<text>", "balloon removed".
class DesktopRecorder final : public DesktopCalls {
public:
    explicit DesktopRecorder(std::wstring path) : path_(std::move(path)) {}

    bool taskbarButtonCreated(HWND) override
    {
        write("button");
        return true;
    }
    void setProgressState(HWND, ButtonProgress state) override { write(std::string("state ") + stateName(state)); }
    void setProgressValue(HWND, uint64_t done, uint64_t total) override
    {
        write("value " + std::to_string(done) + "/" + std::to_string(total));
    }
    void keepAwake(bool awake) override { write(awake ? "awake on" : "awake off"); }
    void flash(HWND) override { write("flash"); }
    bool showBalloon(TopLevelWindow&, std::string_view title, std::string_view text) override
    {
        write("balloon " + utf8(title) + "|" + utf8(text));
        return true;
    }
    void removeBalloon(TopLevelWindow&) override { write("balloon removed"); }

private:
    static std::string utf8(std::string_view programText) { return toNarrow(toUtf16(programText), CP_UTF8); }

    // Opened for each line, so that a reader sees every line as soon as it is written, and a
    // killed program leaves them all.
    void write(const std::string& line)
    {
        UniqueFile file;
        // A reader that does not share writing holds the file for a moment: the line waits.
        for (int tries = 0; tries < 200 && !file; ++tries) {
            file = UniqueFile(CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file) Sleep(5);
        }
        if (!file) return;
        const std::string text = line + "\n";
        DWORD written = 0;
        static_cast<void>(WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    }

    std::wstring path_;
};

} // namespace

std::unique_ptr<DesktopCalls> makeDesktopRecorder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"PICLADE_DESKTOP_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    return std::make_unique<DesktopRecorder>(path);
}

#else

std::unique_ptr<DesktopCalls> makeDesktopRecorder() { return nullptr; }

#endif
