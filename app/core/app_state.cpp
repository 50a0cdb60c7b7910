#include "app/core/app_state.h"

std::string SharedText::get() const
{
    Locked hold(lock_);
    return value_;
}

void SharedText::set(std::string_view value)
{
    std::string copy(value);
    Locked hold(lock_);
    value_.swap(copy);
}
