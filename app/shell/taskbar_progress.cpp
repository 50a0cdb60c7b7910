#include "app/shell/taskbar_progress.h"

// Guarded by EndToEndTaskbar.*.
void TaskbarProgress::buttonCreated()
{
    ready_ = calls_.taskbarButtonCreated(window_);
    shown_ = false;  // a new button shows nothing yet
    apply();
}

void TaskbarProgress::show(const ButtonView& view)
{
    wanted_ = view;
    apply();
}

void TaskbarProgress::apply()
{
    if (!ready_) return;
    const bool withValue = wanted_.state != ButtonProgress::None && wanted_.total > 0;
    // The state first: a value set while the button shows no progress would turn it green.
    if (!shown_ || onButton_.state != wanted_.state) calls_.setProgressState(window_, wanted_.state);
    const bool valueShown = shown_ && onButton_.state != ButtonProgress::None && onButton_.total > 0;
    if (withValue && !(valueShown && onButton_.done == wanted_.done && onButton_.total == wanted_.total))
        calls_.setProgressValue(window_, wanted_.done, wanted_.total);
    onButton_ = wanted_;
    shown_ = true;
}
