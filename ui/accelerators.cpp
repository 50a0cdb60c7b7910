#include "ui/accelerators.h"

#include <vector>

Accelerators::~Accelerators()
{
    RemoveProperty(property::Accelerator);
}

bool Accelerators::Create(std::span<const ACCEL> keys)
{
    std::vector<ACCEL> copy(keys.begin(), keys.end());  // the system wants a writable array
    UniqueAccelerators table(CreateAcceleratorTableW(copy.data(), static_cast<int>(copy.size())));
    if (!table) return false;
    SetProperty(property::Accelerator, reinterpret_cast<intptr_t>(table.get()));
    table_ = std::move(table);
    return true;
}
