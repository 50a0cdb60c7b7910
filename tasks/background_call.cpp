#include "tasks/background_call.h"

#include <utility>

#include "tasks/message_pump.h"
#include "tasks/thread_name.h"

BackgroundCall::BackgroundCall(const wchar_t* name, std::function<void()> call) : name_(name), call_(std::move(call))
{
    thread_.reset(CreateThread(nullptr, 0, entry, this, 0, nullptr));
    if (!thread_) call_();
}

BackgroundCall::~BackgroundCall()
{
    if (thread_) static_cast<void>(waitServing(thread_.get()));
}

unsigned long __stdcall BackgroundCall::entry(void* self)
{
    auto* call = static_cast<BackgroundCall*>(self);
    nameThisThread(call->name_);
    call->call_();
    return 0;
}
